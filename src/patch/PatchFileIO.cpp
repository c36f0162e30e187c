// Saving and loading patch files.
#include <cstring>
#include <memory>

#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"
#include "patch/PatchFileFormat.h"
#include "patch/VrkAdvBuilder.h"

namespace orvel {

namespace {

bool WriteWord(FileHandle file, uint32_t word) { return WriteDiskFile(file, &word, 4) == 4; }

// Closes the file when the scope ends.
struct FileCloser {
  FileHandle file;
  ~FileCloser() { CloseDiskFile(file); }
};

}  // namespace

int CVrkAdvBuilder::WritePatchFile(FileHandle file) {
  const PatchFileHeader header{m_nVersionHigh, m_nVersionLow, m_nFormat, m_nDataCount, 0};
  if (WriteDiskFile(file, &header, sizeof header) != sizeof header)
    return VRKERR_WRITE_PATCH_HEADER;
  if (!WriteWord(file, Crc32(&header, sizeof header))) return VRKERR_CHECKSUM_IO;
  const uint64_t bytes = uint64_t{m_nDataCount} * sizeof(PatchData);
  if (bytes > 0xFFFFFFFFu - kPatchHeaderBytes - 4) return VRKERR_PATCH_DATA_IO;
  const unsigned size = static_cast<unsigned>(bytes);
  if (size && WriteDiskFile(file, m_pData, size) != size) return VRKERR_PATCH_DATA_IO;
  if (!WriteWord(file, Crc32(m_pData, size))) return VRKERR_CHECKSUM_IO;
  // Commit point: the patch file is durable, and so is its name.
  if (!FlushDiskFile(file)) return VRKERR_PATCH_DATA_IO;
  return VRKERR_OK;
}

int CVrkAdvBuilder::SavePatchFile(const char* path) {
  if (!path || !FitsPathLimits(path)) return SetError(VRKERR_NULL_PATH);
  if (m_nDataCount && !m_pData) return SetError(VRKERR_NO_BLOCK);
  // The entries the records refer to reach the disk before the records.
  if (!CloseWriteFile() || !SyncBlockFiles()) return SetError(VRKERR_PATCH_DATA_IO);
  int rc;
  {
    FileHandle file = CreateDiskFile(path, kAttrWriteThrough);
    if (file == kInvalidFile) return SetError(VRKERR_CREATE_FILE);
    FileCloser closer{file};
    rc = WritePatchFile(file);
  }
  if (rc == VRKERR_OK && !SyncPathDirectory(path)) rc = VRKERR_PATCH_DATA_IO;
  if (rc != VRKERR_OK) return SetError(rc);
  ClearPatchData();
  return SetError(VRKERR_OK);
}

int CVrkAdvBuilder::ReadPatchFile(FileHandle file) {
  const unsigned size = GetDiskFileSize(file);
  if (size == kFileFailure) return VRKERR_SEEK;
  if (size < kPatchHeaderBytes) return VRKERR_CHECKSUM;
  unsigned char head[kPatchHeaderBytes];
  if (ReadDiskFileAt(file, head, kPatchHeaderBytes, 0) != kPatchHeaderBytes) return VRKERR_SEEK;
  PatchFileHeader header;
  uint32_t headerCrc;
  std::memcpy(&header, head, sizeof header);
  std::memcpy(&headerCrc, head + sizeof header, 4);
  if (Crc32(&header, sizeof header) != headerCrc) return VRKERR_CHECKSUM;
  // The length is checked before anything is sized from the count.
  if (PatchFileLength(header.count) != size) return VRKERR_CHECKSUM;

  const unsigned bytes = header.count * static_cast<unsigned>(sizeof(PatchData));
  std::unique_ptr<PatchData, VrkFreeDeleter> records;
  if (bytes) {
    records.reset(static_cast<PatchData*>(VrkAlloc(bytes)));
    if (!records) return VRKERR_NO_MEMORY;
    if (ReadDiskFileAt(file, records.get(), bytes, kPatchHeaderBytes) != bytes) return VRKERR_SEEK;
  }
  uint32_t recordsCrc;
  if (ReadDiskFileAt(file, &recordsCrc, 4, kPatchHeaderBytes + bytes) != 4) return VRKERR_SEEK;
  if (Crc32(records.get(), bytes) != recordsCrc) return VRKERR_CHECKSUM;

  m_pData = records.release();
  m_nDataCount = header.count;
  m_nVersionHigh = header.versionHigh;
  m_nVersionLow = header.versionLow;
  m_nFormat = header.format;
  return VRKERR_OK;
}

int CVrkAdvBuilder::LoadPatchFile(const char* path) {
  ClearPatchData();
  if (!path) return SetError(VRKERR_NULL_PATH);
  // Read whole and once: a patch file at a URL comes in one request.
  FileHandle file = OpenDiskFileEx(path, kModeReadExclusive, kAttrNormal | kAttrSequentialScan);
  if (file == kInvalidFile) return SetError(VRKERR_OPEN_FILE);
  FileCloser closer{file};
  return SetError(ReadPatchFile(file));
}

}  // namespace orvel
