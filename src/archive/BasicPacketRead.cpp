// Reading stored files: whole files into the caller's buffer or a new one,
// the stored bytes as they are, or out to a disk file.
#include <cstring>

#include "archive/BasicPacket.h"
#include "codec/CompressBuffer.h"
#include "frame/ErrorCode.h"
#include "frame/GuardedCalls.h"

namespace orvel {

bool COrvelPacket::ReadStored(const BlockEntry& block, void* out) {
  return m_readScratch.ReadPlaced(m_hFile, out, block.storedSize, block.offset) ==
         block.storedSize;
}

int COrvelPacket::ReadFileTo(const char* name, void* buffer, int bufferSize,
                             unsigned int blockIndex) {
  if (!buffer || bufferSize < 1) return 0;
  ReadScope<COrvelPacket> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) return SetError(scope.Code()), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  if (m_hFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  const BlockEntry* b = FindBlock(name, blockIndex);
  if (!b) return 0;
  const uint32_t room = static_cast<uint32_t>(bufferSize);
  if (b->flags & basic::kFileCompressed) {
    if (!m_pCompressor) return SetError(VRKERR_NO_COMPRESSOR), 0;
    if (room < b->originalSize) return 0;
    unsigned char* stored = m_readScratch.For(b->storedSize, b->offset);
    if (!stored || ReadDiskFileAt(m_hFile, stored, b->storedSize, b->offset) != b->storedSize)
      return SetError(VRKERR_DATA_IO), 0;
    // A stream that does not decode to exactly the original size is damage.
    if (!m_pCompressor->Decompress(stored, b->storedSize, b->originalSize, buffer))
      return SetError(VRKERR_DATA_IO), 0;
    SetError(VRKERR_OK);
    return static_cast<int>(b->originalSize);
  }
  if (room < b->storedSize) return 0;
  if (!ReadStored(*b, buffer)) return SetError(VRKERR_DATA_IO), 0;
  SetError(VRKERR_OK);
  return static_cast<int>(b->storedSize);
}

void* COrvelPacket::ReadFileAlloc(const char* name, unsigned int* outSize,
                                  unsigned int blockIndex) {
  ReadScope<COrvelPacket> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) {
    SetError(scope.Code());
    return nullptr;
  }
  if (m_hFile == kInvalidFile) {
    SetError(VRKERR_NOT_OPEN);
    return nullptr;
  }
  const BlockEntry* b = FindBlock(name, blockIndex);
  if (!b) return nullptr;
  if (b->flags & basic::kFileCompressed) {
    if (!m_pCompressor) {
      SetError(VRKERR_NO_COMPRESSOR);
      return nullptr;
    }
    unsigned char* stored = m_readScratch.For(b->storedSize, b->offset);
    if (!stored || !IsPlausibleExpansion(b->storedSize, b->originalSize) ||
        ReadDiskFileAt(m_hFile, stored, b->storedSize, b->offset) != b->storedSize) {
      SetError(VRKERR_DATA_IO);
      return nullptr;
    }
    void* out = VrkAlloc(uint64_t{b->originalSize} + 4);
    if (!out || !m_pCompressor->Decompress(stored, b->storedSize, b->originalSize, out)) {
      VrkFree(out);
      SetError(VRKERR_DATA_IO);
      return nullptr;
    }
    if (outSize) *outSize = b->originalSize;
    SetError(VRKERR_OK);
    return out;
  }
  void* out = VrkAlloc(uint64_t{b->storedSize} + 4);
  if (!out || !ReadStored(*b, out)) {
    VrkFree(out);
    SetError(VRKERR_DATA_IO);
    return nullptr;
  }
  if (outSize) *outSize = b->storedSize;
  SetError(VRKERR_OK);
  return out;
}

void COrvelPacket::FreeBuffer(void* p) { VrkFree(p); }

int COrvelPacket::ReadFileRaw(const char* name, void* buffer, unsigned int bufferSize) {
  if (!name) return SetError(VRKERR_NULL_NAME), 0;
  if (!buffer) return SetError(VRKERR_NULL_BUFFER), 0;
  ReadScope<COrvelPacket> scope(m_guard, *this);
  if (scope.Code() != VRKERR_OK) return SetError(scope.Code()), 0;
  if (m_hFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  const BlockEntry* b = FindBlock(name, kNone);
  if (!b) return 0;
  if (b->storedSize > bufferSize) return SetError(VRKERR_BUFFER_TOO_SMALL), 0;
  if (!ReadStored(*b, buffer)) return SetError(VRKERR_DATA_IO), 0;
  SetError(VRKERR_OK);
  return static_cast<int>(b->storedSize);
}

int COrvelPacket::ExtractFile(const char* name, const char* diskPath, unsigned int blockIndex) {
  if (!diskPath) return SetError(VRKERR_NULL_PATH), 0;
  unsigned int size = 0;
  void* data = ReadFileAlloc(name, &size, blockIndex);
  if (!data) return 0;
  const FileHandle target = CreateDiskFile(diskPath, kAttrNormal);
  if (target == kInvalidFile) {
    FreeBuffer(data);
    return SetError(VRKERR_CREATE_FILE), 0;
  }
  const bool written = WriteDiskFile(target, data, size) == size;
  FreeBuffer(data);
  CloseDiskFile(target);
  if (!written) return SetError(VRKERR_SEEK), 0;
  SetError(VRKERR_OK);
  return 1;
}

}  // namespace orvel
