// Block files: appending the stored bytes of a file with their checksum,
// and reading them back to write them into the archive.
#include <cstring>
#include <memory>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"
#include "patch/VrkAdvBuilder.h"

namespace orvel {

namespace {

constexpr unsigned kBufferSlack = 16;  // room behind the data, for its checksum word

using Bytes = std::unique_ptr<unsigned char, VrkFreeDeleter>;

Bytes AllocEntry(unsigned storedSize) {
  return Bytes(static_cast<unsigned char*>(VrkAlloc(uint64_t{storedSize} + kBufferSlack)));
}

// The error code left by a failed step, or `fallback` when it left none.
int FailureCode(int fallback) { return g_nVrkErrCode < 0 ? g_nVrkErrCode : fallback; }

}  // namespace

int CVrkAdvBuilder::WritePatchBlockTo(int file) {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (!m_lpCurName) return SetError(VRKERR_NULL_NAME), 0;
  if (!m_pCurData) return SetError(VRKERR_NO_BLOCK), 0;
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;

  const char* name = m_lpCurName;
  PatchData& r = *m_pCurData;
  m_piPacket->GetFileVersion(name, &r.versionHigh, &r.versionLow);
  r.flags = m_piPacket->GetFileFlags(name);
  r.storedSize = m_piPacket->GetFileStoredSize(name);
  r.originalSize = m_piPacket->GetFileOriginalSize(name);
  m_piPacket->GetFileHash(name, &r.hash0, &r.hash1, &r.hash2);
  r.offset = TellDiskFile(file);
  if (r.offset == kFileFailure) return SetError(VRKERR_SEEK), 0;

  const unsigned stored = r.storedSize;
  if (stored > 0xFFFFFFFFu - kBufferSlack) return SetError(VRKERR_PATCH_DATA_IO), 0;
  Bytes data = AllocEntry(stored);
  if (!data) return SetError(VRKERR_NO_MEMORY), 0;
  g_nVrkErrCode = VRKERR_OK;
  const int got = m_piPacket->ReadFileRaw(name, data.get(), stored + 4);
  // A file of no stored bytes reads as 0 bytes with success.
  if (got == 0 && !(stored == 0 && g_nVrkErrCode == VRKERR_OK))
    return SetError(FailureCode(VRKERR_PATCH_DATA_IO)), 0;
  if (got < 0 || static_cast<unsigned>(got) != stored) return SetError(VRKERR_PATCH_DATA_IO), 0;

  const uint32_t crc = Crc32(data.get(), stored);
  if (stored && WriteDiskFile(file, data.get(), stored) != stored)
    return SetError(VRKERR_PATCH_DATA_IO), 0;
  if (WriteDiskFile(file, &crc, 4) != 4) return SetError(VRKERR_CHECKSUM_IO), 0;
  // The entry leaves the library's buffers before success is reported; a
  // write-through handle also makes it durable here.
  if (!FlushDiskFile(file)) return SetError(VRKERR_PATCH_DATA_IO), 0;
  return SetError(VRKERR_OK), 1;
}

int CVrkAdvBuilder::WritePatchBlock(const char* blockPath, unsigned int origin, int distance) {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (!m_lpCurName) return SetError(VRKERR_NULL_NAME), 0;
  if (!m_pCurData) return SetError(VRKERR_NO_BLOCK), 0;
  if (!blockPath || !FitsPathLimits(blockPath)) return SetError(VRKERR_NULL_PATH), 0;
  if (!DiskFileExists(blockPath)) CloseDiskFile(CreateDiskFile(blockPath, kAttrNormal));
  // Entries are made durable together, once per block file, before the
  // patch file that refers to them is written (see CVrkPatcher).
  FileHandle file = OpenDiskFileEx(blockPath, kModeReadWriteShared, kAttrNormal);
  if (file == kInvalidFile) return SetError(VRKERR_OPEN_FILE), 0;
  if (SeekDiskFile(file, distance, origin) == kFileFailure) {
    CloseDiskFile(file);
    return SetError(VRKERR_SEEK), 0;
  }
  const int result = WritePatchBlockTo(file);
  CloseDiskFile(file);
  return result;
}

void CVrkAdvBuilder::CloseBlockFile() {
  m_szBlockFile[0] = '\0';
  CloseDiskFile(m_hBlockFile);
  m_hBlockFile = kInvalidFile;
}

int CVrkAdvBuilder::HoldBlockFile(const char* blockPath) {
  if (std::strcmp(blockPath, m_szBlockFile) == 0 && m_hBlockFile != kInvalidFile)
    return VRKERR_OK;
  CloseBlockFile();
  if (!DiskFileExists(blockPath)) return VRKERR_NO_SOURCE;
  m_hBlockFile = OpenDiskFileEx(blockPath, kModeReadExclusive, kAttrNormal);
  if (m_hBlockFile == kInvalidFile) return VRKERR_OPEN_FILE;
  std::strcpy(m_szBlockFile, blockPath);
  return VRKERR_OK;
}

int CVrkAdvBuilder::ReadBlockEntry(unsigned char* out) {
  const PatchData& r = *m_pCurData;
  const uint32_t count = r.storedSize + 4;
  const uint32_t got = ReadDiskFileAt(m_hBlockFile, out, count, r.offset);
  if (got < r.storedSize) return VRKERR_PATCH_DATA_IO;
  if (got != count) return VRKERR_CHECKSUM_IO;
  uint32_t crc;
  std::memcpy(&crc, out + r.storedSize, 4);
  return Crc32(out, r.storedSize) == crc ? VRKERR_OK : VRKERR_CHECKSUM;
}

int CVrkAdvBuilder::ApplyPatchData(const char* blockPath) {
  if (!blockPath || !FitsPathLimits(blockPath)) return SetError(VRKERR_NULL_PATH), 0;
  if (!m_pCurData) return SetError(VRKERR_NO_BLOCK), 0;
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (int rc = HoldBlockFile(blockPath)) return SetError(rc), 0;

  const PatchData r = *m_pCurData;
  // An entry that does not lie inside its block file is refused before
  // anything is sized from it.
  const unsigned blockSize = GetDiskFileSize(m_hBlockFile);
  if (blockSize == kFileFailure || uint64_t{r.offset} + r.storedSize + 4 > blockSize)
    return SetError(VRKERR_PATCH_DATA_IO), 0;
  // A compressed entry claiming more than its bytes can decode to would make
  // every reader of the target size a buffer from that claim.
  if ((r.flags & kFileCompressed) && !IsPlausibleExpansion(r.storedSize, r.originalSize))
    return SetError(VRKERR_CHECKSUM), 0;
  Bytes data = AllocEntry(r.storedSize);
  if (!data) return SetError(VRKERR_NO_MEMORY), 0;
  if (int rc = ReadBlockEntry(data.get())) return SetError(rc), 0;

  const unsigned int hash[3] = {r.hash0, r.hash1, r.hash2};
  m_piPacket->BeginUpdate();
  // The file keeps the stored form it had in the source archive.
  const int added =
      m_pAdvance ? m_pAdvance->AddStoredFileByHash(hash, 0, r.flags, data.get(), r.storedSize,
                                                   r.originalSize, r.versionHigh, r.versionLow)
                 : m_piPacket->AddCompressedFileByHash(hash, 0, data.get(), r.storedSize,
                                                       r.originalSize, r.versionHigh,
                                                       r.versionLow);
  data.reset();
  if (added < 0) {
    // The bracket opened above is closed again, so that the caller's own
    // brackets stay balanced; the archive's error code is what counts.
    m_piPacket->EndUpdate();
    return SetError(added), 0;
  }
  if (m_piPacket->EndUpdate() < 0) return 0;
  return SetError(VRKERR_OK), 1;
}

}  // namespace orvel
