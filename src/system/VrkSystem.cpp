#include "system/VrkSystem.h"

#include <errno.h>

#include <cstring>

#include "advance/AdvancedPacketFactory.h"
#include "archive/BasicPacketFactory.h"
#include "codec/checksum_crc.h"
#include "frame/ArchiveGuard.h"
#include "frame/AssertReport.h"
#include "frame/DiskFile.h"
#include "frame/ErrorCode.h"
#include "frame/RemoteFile.h"
#include "orvel/IOrvelPacket.h"
#include "orvel/IVrkPatchBuilder.h"
#include "orvel/VrkCheckSum.h"
#include "patch/PatchBuilderFactory.h"

namespace orvel {
namespace {

constexpr int kFormatVersion = 32;
constexpr int kAdvancedFlag = 8;
constexpr unsigned char kMagic[4] = {'V', 'R', 'K', 0x1A};

IOrvelPacket* NewPacketObject(int flags) {
  try {
    return (flags & kAdvancedFlag) ? NewAdvancedPacket() : NewBasicPacket();
  } catch (...) {
    return nullptr;
  }
}

// Destroys an archive or builder through its virtual deleting destructor,
// which returns the memory through the allocation rule.
template <class T>
void Destroy(T* object) {
  if (!object) return;
  try {
    delete object;
  } catch (...) {
  }
}

CVrkSystem g_entryObject;

}  // namespace

IOrvelPacket* CVrkSystem::NewPacket(const char* name, int flags, int version,
                                    unsigned int tableSize, unsigned int versionHigh,
                                    unsigned int versionLow) {
  if (version != kFormatVersion) return nullptr;
  // Archives at a URL are read, never written.
  if (IsRemotePath(name)) return NoteSystemError(EROFS), SetError(VRKERR_READ_ONLY), nullptr;
  IOrvelPacket* packet = NewPacketObject(flags);
  if (!packet) return nullptr;
  if (!name || !*name) return packet;
  if (packet->CreatePacket(name, static_cast<unsigned>(flags), tableSize, versionHigh,
                           versionLow))
    return packet;
  Destroy(packet);
  return nullptr;
}

IOrvelPacket* CVrkSystem::LoadPacket(const char* name) {
  if (!name) return nullptr;
  // An interrupted writer may have left the file half written: undo that
  // before its first bytes tell the variant.
  const bool remote = IsRemotePath(name);
  const int recovered = remote ? VRKERR_OK : ArchiveGuard::RecoverBeforeOpen(name);
  if (recovered != VRKERR_OK) return SetError(recovered), nullptr;
  int version = 0;
  int flags = 0;
  if (!ReadPacketHeader(name, &version, &flags)) return nullptr;
  if (version != kFormatVersion) return nullptr;
  // Only the advanced variant is read remotely: its records carry their
  // checksums and its tables lie in side files fetched whole.
  if (remote && !(flags & kAdvancedFlag))
    return NoteSystemError(EOPNOTSUPP), SetError(VRKERR_OPEN_FILE), nullptr;
  IOrvelPacket* packet = NewPacketObject(flags);
  if (!packet) return nullptr;
  if (packet->OpenPacket(name)) return packet;
  Destroy(packet);
  return nullptr;
}

void CVrkSystem::FreePacket(IOrvelPacket* packet) { Destroy(packet); }

IVrkPatchBuilder* CVrkSystem::NewPatchBuilder(IOrvelPacket* packet) {
  if (!packet || !IsAdvancedPacket(packet)) return nullptr;
  try {
    return NewPatchBuilderFor(packet);
  } catch (...) {
    return nullptr;
  }
}

void CVrkSystem::FreePatchBuilder(IVrkPatchBuilder* builder) { Destroy(builder); }

int CVrkSystem::GetErrCode() { return GlobalError(); }

int CVrkSystem::ReadPacketHeader(const char* name, int* version, int* flags) {
  FileHandle file = OpenDiskFile(name, kModeReadWriteShared);
  if (file == kInvalidFile) file = OpenDiskFile(name, kModeReadShared);
  if (file == kInvalidFile) {
    SetError(VRKERR_OPEN_FILE);
    return 0;
  }
  unsigned char word[4];
  int result = 0;
  if (ReadDiskFile(file, word, 4) != 4) {
    SetError(VRKERR_SIGNATURE_IO);
  } else if (std::memcmp(word, kMagic, 4) != 0) {
    SetError(VRKERR_BAD_SIGNATURE);
  } else if (ReadDiskFile(file, word, 4) != 4) {
    SetError(VRKERR_SIGNATURE_IO);
  } else {
    if (version) std::memcpy(version, word, 4);
    SeekDiskFile(file, 12, 1);  // on to the flags word at offset 20
    if (ReadDiskFile(file, word, 4) != 4) {
      SetError(VRKERR_SIGNATURE_IO);
    } else {
      if (flags) std::memcpy(flags, word, 4);
      result = 1;
    }
  }
  CloseDiskFile(file);
  return result;
}

}  // namespace orvel

VRK_API IVrkSystem* g_piVrkSystem = &orvel::g_entryObject;

VRK_API unsigned long CalcVrkCheckSum(void* buffer, unsigned long size) {
  if (!buffer) orvel::ReportAssert("buffer", "VrkSystem.cpp", 74);
  if (size == 0) orvel::ReportAssert("size>0", "VrkSystem.cpp", 75);
  unsigned long crc;
  orvel::InitCRC(&crc);
  if (!buffer || size == 0) {
    // The running CRC reports the same faults and folds in nothing.
    orvel::UpdateCRC(&crc, buffer, static_cast<int>(size > 0x7FFFFFFF ? 0 : size));
  } else {
    // Buffers of 2 GiB or more go in pieces that the running CRC accepts.
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
      unsigned long piece = size > 0x40000000ul ? 0x40000000ul : size;
      orvel::UpdateCRC(&crc, p, static_cast<int>(piece));
      p += piece;
      size -= piece;
    }
  }
  orvel::FinishCRC(&crc);
  return crc;
}
