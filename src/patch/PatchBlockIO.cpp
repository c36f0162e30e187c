// Block files: appending the stored bytes of a file with their checksum,
// and reading them back to write them into the archive.
#include <cstring>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"
#include "patch/VrkAdvBuilder.h"

namespace orvel {

namespace {

constexpr unsigned kBufferSlack = 16;  // room behind the data, for its checksum word

// The error code left by a failed step, or `fallback` when it left none.
int FailureCode(int fallback) { return g_nVrkErrCode < 0 ? g_nVrkErrCode : fallback; }

}  // namespace

int CVrkAdvBuilder::WritePatchBlockTo(int file) {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (!m_lpCurName) return SetError(VRKERR_NULL_NAME), 0;
  if (!m_pCurData) return SetError(VRKERR_NO_BLOCK), 0;
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;

  PatchData& r = *m_pCurData;
  if (!DescribeCurrentFile(&r)) return SetError(FailureCode(VRKERR_ADV_NOT_FOUND)), 0;
  r.offset = TellDiskFile(file);
  if (r.offset == kFileFailure) return SetError(VRKERR_SEEK), 0;

  const unsigned stored = r.storedSize;
  unsigned char* data = EntryBuffer(stored);
  if (!data) return SetError(VRKERR_NO_MEMORY), 0;
  const int64_t got = ReadCurrentFile(data, stored);
  if (got < 0) return 0;
  if (got != stored) return SetError(VRKERR_PATCH_DATA_IO), 0;

  // The entry is the stored bytes and their checksum word, in one write.
  if (WriteDiskFileAt(file, data, stored + 4, r.offset) != stored + 4)
    return SetError(VRKERR_PATCH_DATA_IO), 0;
  if (file != m_hWriteFile) {
    // A file of the caller's: it moves on past the entry, which leaves the
    // library's buffers (and, written through, reaches the disk) here.
    if (SeekDiskFile(file, static_cast<int32_t>(r.offset + stored + 4), 0) == kFileFailure ||
        !FlushDiskFile(file))
      return SetError(VRKERR_PATCH_DATA_IO), 0;
  }
  // The block file WritePatchBlock holds gathers its entries and makes them
  // durable when it is let go (CloseWriteFile), before any patch file that
  // refers to them is written.
  return SetError(VRKERR_OK), 1;
}

unsigned char* CVrkAdvBuilder::EntryBuffer(unsigned int storedSize) {
  const uint64_t need = uint64_t{storedSize} + kBufferSlack;
  if (need > m_nEntryRoom) {
    VrkFree(m_pEntry);
    m_nEntryRoom = 0;
    m_pEntry = static_cast<unsigned char*>(VrkAlloc(need));
    if (!m_pEntry) return nullptr;
    m_nEntryRoom = need;
  }
  return m_pEntry;
}

bool CVrkAdvBuilder::DescribeCurrentFile(PatchData* r) {
  AdvanceBlockEntry e;
  unsigned int hash[3];
  if (!m_pAdvance->FindFileEntry(m_lpCurName, &e, hash)) return false;
  *r = PatchData{e.versionHigh, e.versionLow, e.flags, 0, e.storedSize, e.originalSize,
                 hash[0], hash[1], hash[2]};
  return true;
}

int64_t CVrkAdvBuilder::ReadCurrentFile(unsigned char* out, unsigned int storedSize) {
  // Bytes and checksum word come together from the archive, which checks
  // the word: it is the block entry's checksum as well.
  const int got = m_pAdvance->ReadStoredRecord(m_lpCurName, out, storedSize + 4);
  // A file of no stored bytes reads as 0 bytes with success.
  if (got == 0 && !(storedSize == 0 && g_nVrkErrCode == VRKERR_OK))
    return SetError(FailureCode(VRKERR_PATCH_DATA_IO)), -1;
  if (got < 0) return SetError(VRKERR_PATCH_DATA_IO), -1;
  return got;
}

int CVrkAdvBuilder::WritePatchBlock(const char* blockPath, unsigned int origin, int distance) {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (!m_lpCurName) return SetError(VRKERR_NULL_NAME), 0;
  if (!m_pCurData) return SetError(VRKERR_NO_BLOCK), 0;
  if (!blockPath || !FitsPathLimits(blockPath)) return SetError(VRKERR_NULL_PATH), 0;
  if (m_hWriteFile == kInvalidFile || std::strcmp(blockPath, m_szWriteFile) != 0) {
    if (!CloseWriteFile()) return SetError(VRKERR_PATCH_DATA_IO), 0;
    if (!DiskFileExists(blockPath)) CloseDiskFile(CreateDiskFile(blockPath, kAttrNormal));
    m_hWriteFile = OpenDiskFileEx(blockPath, kModeReadWriteShared, kAttrWriteThrough);
    if (m_hWriteFile == kInvalidFile) return SetError(VRKERR_OPEN_FILE), 0;
    std::strcpy(m_szWriteFile, blockPath);
  }
  if (SeekDiskFile(m_hWriteFile, distance, origin) == kFileFailure) {
    CloseWriteFile();
    return SetError(VRKERR_SEEK), 0;
  }
  const int result = WritePatchBlockTo(m_hWriteFile);
  if (!result) CloseWriteFile();
  return result;
}

bool CVrkAdvBuilder::CloseWriteFile() {
  if (m_hWriteFile == kInvalidFile) return true;
  // Its entries, and its name when it was created, become durable.
  const bool ok = FlushDiskFile(m_hWriteFile) && SyncPathDirectory(m_szWriteFile);
  CloseDiskFile(m_hWriteFile);
  m_hWriteFile = kInvalidFile;
  m_szWriteFile[0] = '\0';
  return ok;
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
  CloseWriteFile();
  if (!DiskFileExists(blockPath)) return VRKERR_NO_SOURCE;
  m_hBlockFile = OpenDiskFileEx(blockPath, kModeReadExclusive, kAttrNormal);
  if (m_hBlockFile == kInvalidFile) return VRKERR_OPEN_FILE;
  // Held without sharing, so its size stays as it is while it is held.
  m_nBlockFileSize = GetDiskFileSize(m_hBlockFile);
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
  if (m_nBlockFileSize == kFileFailure ||
      uint64_t{r.offset} + r.storedSize + 4 > m_nBlockFileSize)
    return SetError(VRKERR_PATCH_DATA_IO), 0;
  // A compressed entry claiming more than its bytes can decode to would make
  // every reader of the target size a buffer from that claim.
  if ((r.flags & kFileCompressed) && !IsPlausibleExpansion(r.storedSize, r.originalSize))
    return SetError(VRKERR_CHECKSUM), 0;
  unsigned char* data = EntryBuffer(r.storedSize);
  if (!data) return SetError(VRKERR_NO_MEMORY), 0;
  if (int rc = ReadBlockEntry(data)) return SetError(rc), 0;
  uint32_t crc;
  std::memcpy(&crc, data + r.storedSize, 4);

  const unsigned int hash[3] = {r.hash0, r.hash1, r.hash2};
  m_piPacket->BeginUpdate();
  // The file keeps the stored form it had in the source archive.
  const int added = m_pAdvance->AddStoredFileByHash(hash, 0, r.flags, data, r.storedSize,
                                                    r.originalSize, r.versionHigh, r.versionLow,
                                                    &crc);
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
