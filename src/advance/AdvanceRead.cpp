// Reading stored files: one positional read covering the stored bytes and
// their checksum word, verification, and decompression.
#include <cstring>
#include <memory>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"
#include "frame/GuardedCalls.h"

namespace orvel {

namespace {

bool ChecksumMatches(const unsigned char* data, uint32_t size,
                     const unsigned char* word) {
  uint32_t stored;
  std::memcpy(&stored, word, 4);
  return Crc32(data, size) == stored;
}

// The code a read of `e` fails with before anything is sized from it: -9
// for a record reaching past the end of the archive file (the list file's
// entry, which describes the list side file, is not checked at open) or a
// compressed one whose original size no stream of its size decodes to.
int SizeCode(FileHandle archive, const AdvanceBlockEntry& e) {
  const uint32_t end = GetDiskFileSize(archive);
  if (end == kFileFailure || uint64_t{e.offset} + e.storedSize > end) return VRKERR_DATA_IO;
  if ((e.flags & kFileCompressed) && !IsPlausibleExpansion(e.storedSize, e.originalSize))
    return VRKERR_DATA_IO;
  return VRKERR_OK;
}

}  // namespace

int CVrkAdvance::ReadRecord(const AdvanceBlockEntry* e, unsigned char* out) {
  return ReadRecord(e, out, m_bVerifyCheckSum != 0);
}

int CVrkAdvance::ReadRecord(const AdvanceBlockEntry* e, unsigned char* out, bool verify) {
  const uint32_t count = e->storedSize + (verify ? kChecksumSize : 0);
  if (!RecordFits(e->offset, e->storedSize))
    return VRKERR_DATA_IO;
  if (count) {
    uint32_t got = m_readScratch.ReadPlaced(m_hPacket, out, count, e->offset);
    if (got != count) return got >= e->storedSize ? VRKERR_CHECKSUM_IO : VRKERR_DATA_IO;
  }
  if (verify && !ChecksumMatches(out, e->storedSize, out + e->storedSize))
    return VRKERR_CHECKSUM;
  return VRKERR_OK;
}

void* CVrkAdvance::ReadFileAlloc(const char* name, unsigned int* outSize,
                                 unsigned int blockIndex) {
  ReadScope<CVrkAdvance> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) return SetError(scope.Code()), nullptr;
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN), nullptr;
  const AdvanceBlockEntry* found = FindBlock(name, blockIndex);
  if (!found) return nullptr;
  const AdvanceBlockEntry e = *found;
  if (int rc = SizeCode(m_hPacket, e)) return SetError(rc), nullptr;
  if (!(e.flags & kFileCompressed)) {
    std::unique_ptr<unsigned char, VrkFreeDeleter> data(
        static_cast<unsigned char*>(VrkAlloc(uint64_t{e.storedSize} + kChecksumSize)));
    if (!data) return SetError(VRKERR_NO_MEMORY), nullptr;
    int rc = ReadRecord(&e, data.get());
    if (rc != VRKERR_OK) return SetError(rc), nullptr;
    if (outSize) *outSize = e.storedSize;
    SetError(VRKERR_OK);
    return data.release();
  }
  if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), nullptr;
  unsigned char* stored = m_readScratch.For(e.storedSize + kChecksumSize, e.offset);
  if (!stored) return SetError(VRKERR_NO_MEMORY), nullptr;
  int rc = ReadRecord(&e, stored);
  if (rc != VRKERR_OK) return SetError(rc), nullptr;
  std::unique_ptr<unsigned char, VrkFreeDeleter> out(
      static_cast<unsigned char*>(VrkAlloc(uint64_t{e.originalSize} + kChecksumSize)));
  if (!out) return SetError(VRKERR_NO_MEMORY), nullptr;
  // A record that does not decode to exactly its size is damaged, whatever
  // its checksum said.
  if (!m_pCompressor->Decompress(stored, e.storedSize, e.originalSize, out.get()))
    return SetError(VRKERR_DATA_IO), nullptr;
  if (outSize) *outSize = e.originalSize;
  SetError(VRKERR_OK);
  return out.release();
}

int CVrkAdvance::ReadFileTo(const char* name, void* buffer, int bufferSize,
                            unsigned int blockIndex) {
  if (!buffer || bufferSize <= 0) return 0;
  ReadScope<CVrkAdvance> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) return SetError(scope.Code()), 0;
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  // A buffer too small for the file leaves the error code as the lookup set
  // it.
  const AdvanceBlockEntry* found = FindBlock(name, blockIndex);
  if (!found) return 0;
  const AdvanceBlockEntry e = *found;
  const uint32_t room = static_cast<uint32_t>(bufferSize);
  unsigned char* out = static_cast<unsigned char*>(buffer);
  if (e.flags & kFileCompressed) {
    if (room < e.originalSize) return 0;
    if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
    if (int rc = SizeCode(m_hPacket, e)) return SetError(rc), 0;
    unsigned char* stored = m_readScratch.For(e.storedSize + kChecksumSize, e.offset);
    if (!stored) return SetError(VRKERR_NO_MEMORY), 0;
    int rc = ReadRecord(&e, stored);
    if (rc != VRKERR_OK) return SetError(rc), 0;
    if (!m_pCompressor->Decompress(stored, e.storedSize, e.originalSize, out))
      return SetError(VRKERR_DATA_IO), 0;
    SetError(VRKERR_OK);
    return static_cast<int>(e.originalSize);
  }
  if (room < e.storedSize) return 0;
  int rc;
  if (!m_bVerifyCheckSum || room - e.storedSize >= kChecksumSize) {
    rc = ReadRecord(&e, out);
  } else {
    // No room for the checksum word behind the data: fetch it apart.
    unsigned char word[4];
    if (e.storedSize &&
        ReadDiskFileAt(m_hPacket, out, e.storedSize, e.offset) != e.storedSize)
      rc = VRKERR_DATA_IO;
    else if (ReadDiskFileAt(m_hPacket, word, 4, e.offset + e.storedSize) != 4)
      rc = VRKERR_CHECKSUM_IO;
    else
      rc = ChecksumMatches(out, e.storedSize, word) ? VRKERR_OK : VRKERR_CHECKSUM;
  }
  if (rc != VRKERR_OK) return SetError(rc), 0;
  SetError(VRKERR_OK);
  return static_cast<int>(e.storedSize);
}

int CVrkAdvance::ReadFileRaw(const char* name, void* buffer,
                             unsigned int bufferSize) {
  if (!name) return SetError(VRKERR_NULL_NAME), 0;
  if (!buffer) return SetError(VRKERR_NULL_BUFFER), 0;
  ReadScope<CVrkAdvance> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) return SetError(scope.Code()), 0;
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  const AdvanceBlockEntry* found = FindBlock(name, kNone);
  if (!found) return 0;
  const AdvanceBlockEntry e = *found;
  if (e.storedSize > bufferSize) return SetError(VRKERR_BUFFER_TOO_SMALL), 0;
  if (bufferSize - e.storedSize >= kChecksumSize) {
    // Room for the checksum word behind the bytes: read straight into the
    // caller's buffer, so a large file is never held twice.
    int rc = ReadRecord(&e, static_cast<unsigned char*>(buffer));
    if (rc != VRKERR_OK) return SetError(rc), 0;
    SetError(VRKERR_OK);
    return static_cast<int>(e.storedSize);
  }
  unsigned char* stored = m_readScratch.For(e.storedSize + kChecksumSize, e.offset);
  if (!stored) return SetError(VRKERR_NO_MEMORY), 0;
  int rc = ReadRecord(&e, stored);
  if (rc != VRKERR_OK) return SetError(rc), 0;
  std::memcpy(buffer, stored, e.storedSize);
  SetError(VRKERR_OK);
  return static_cast<int>(e.storedSize);
}

int CVrkAdvance::ReadStoredRecord(const char* name, void* out, unsigned int room) {
  if (!name) return SetError(VRKERR_NULL_NAME), 0;
  if (!out) return SetError(VRKERR_NULL_BUFFER), 0;
  ReadScope<CVrkAdvance> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) return SetError(scope.Code()), 0;
  if (m_hPacket == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  const AdvanceBlockEntry* found = FindBlock(name, kNone);
  if (!found) return 0;
  const AdvanceBlockEntry e = *found;
  if (uint64_t{e.storedSize} + kChecksumSize > room) return SetError(VRKERR_BUFFER_TOO_SMALL), 0;
  const int rc = ReadRecord(&e, static_cast<unsigned char*>(out), true);
  if (rc != VRKERR_OK) return SetError(rc), 0;
  SetError(VRKERR_OK);
  return static_cast<int>(e.storedSize);
}

int CVrkAdvance::BeginReadRun() { return GuardedCalls<CVrkAdvance>::BeginRead(m_guard, *this); }

void CVrkAdvance::EndReadRun() { GuardedCalls<CVrkAdvance>::EndRead(m_guard); }

void CVrkAdvance::StartAppendWriteback() {
  // Appended bytes lie past the committed size, where a rollback cuts them
  // off: they may reach the disk at any time.
  if (m_guard.InBracket() && m_hPacket != kInvalidFile) StartDiskFileWriteback(m_hPacket);
}

int CVrkAdvance::ExtractFile(const char* name, const char* diskPath,
                             unsigned int blockIndex) {
  if (!diskPath) return SetError(VRKERR_NULL_PATH), 0;
  unsigned int size = 0;
  std::unique_ptr<void, VrkFreeDeleter> data(ReadFileAlloc(name, &size, blockIndex));
  if (!data) return 0;
  FileHandle file = CreateDiskFile(diskPath, kAttrNormal);
  if (file == kInvalidFile) return SetError(VRKERR_CREATE_FILE), 0;
  unsigned written = size ? WriteDiskFile(file, data.get(), size) : 0;
  CloseDiskFile(file);
  if (written != size) return SetError(VRKERR_SEEK), 0;
  return SetError(VRKERR_OK), 1;
}

}  // namespace orvel
