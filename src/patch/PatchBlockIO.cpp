// Block files: appending the stored bytes of a file with their checksum,
// and reading them back to write them into the archive.
#include <cerrno>
#include <cstring>

#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"
#include "frame/GatheredWrites.h"
#include "frame/RemoteFile.h"
#include "patch/VrkAdvBuilder.h"

namespace orvel {

namespace {

constexpr unsigned kBufferSlack = 16;  // room behind the data, for its checksum word
// The entries waiting for a block file: a few whole runs of the file layer,
// which writes whole aligned runs straight from the caller's buffer.
constexpr uint32_t kOutputRoom = 16 * kGatherRun;

// The error code left by a failed step, or `fallback` when it left none.
int FailureCode(int fallback) { return GlobalError() < 0 ? GlobalError() : fallback; }

}  // namespace

int CVrkAdvBuilder::WritePatchBlockTo(int file) {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (!m_lpCurName) return SetError(VRKERR_NULL_NAME), 0;
  if (!m_pCurData) return SetError(VRKERR_NO_BLOCK), 0;
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;

  PatchData& r = *m_pCurData;
  if (!DescribeCurrentFile(&r)) return SetError(FailureCode(VRKERR_ADV_NOT_FOUND)), 0;
  const unsigned stored = r.storedSize;
  const bool held = file == m_hWriteFile;
  // The block file WritePatchBlock holds continues where its last entry
  // ended; a file of the caller's at its position.
  bool failed = false;
  unsigned char* data = held ? OutputRoom(stored + 4, &failed) : nullptr;
  if (failed) return SetError(VRKERR_PATCH_DATA_IO), 0;
  const uint64_t at = held ? uint64_t{m_nOutStart} + m_nOutLength : TellDiskFile(file);
  if (at + stored + 4 >= kFileFailure) return SetError(VRKERR_SEEK), 0;
  r.offset = static_cast<uint32_t>(at);

  const bool waits = data != nullptr;
  if (!waits) data = EntryBuffer(stored);
  if (!data) return SetError(VRKERR_NO_MEMORY), 0;
  // The archive checks the checksum of the bytes where they land.
  const int64_t got = ReadCurrentFile(data, stored);
  if (got < 0) return 0;
  if (got != stored) return SetError(VRKERR_PATCH_DATA_IO), 0;

  if (waits) {
    m_nOutLength += stored + 4;
    return SetError(VRKERR_OK), 1;
  }
  // The entry is the stored bytes and their checksum word, in one write.
  if (WriteDiskFileAt(file, data, stored + 4, r.offset) != stored + 4)
    return SetError(VRKERR_PATCH_DATA_IO), 0;
  if (held) {
    m_nOutStart = r.offset + stored + 4;
  } else {
    // A file of the caller's: it moves on past the entry, which leaves the
    // library's buffers (and, written through, reaches the disk) here.
    if (SeekDiskFile(file, static_cast<int32_t>(r.offset + stored + 4), 0) == kFileFailure ||
        !FlushDiskFile(file))
      return SetError(VRKERR_PATCH_DATA_IO), 0;
  }
  // The entries of the block file WritePatchBlock holds reach it when it is
  // let go (CloseWriteFile) at the latest, and the disk before any patch
  // file that refers to them is written (SyncBlockFiles).
  return SetError(VRKERR_OK), 1;
}

unsigned char* CVrkAdvBuilder::OutputRoom(uint32_t count, bool* failed) {
  if (m_nOutLength + uint64_t{count} > kOutputRoom && m_nOutLength) {
    // Out with the entries before the last run boundary; the part of a run
    // after it moves to the front.
    const uint64_t end = uint64_t{m_nOutStart} + m_nOutLength;
    const uint64_t boundary = end - end % kGatherRun;
    const uint32_t cut = boundary > m_nOutStart ? static_cast<uint32_t>(boundary - m_nOutStart) : 0;
    if (cut && WriteDiskFileAt(m_hWriteFile, m_pOut, cut, m_nOutStart) != cut)
      return *failed = true, nullptr;
    std::memmove(m_pOut, m_pOut + cut, m_nOutLength - cut);
    m_nOutStart += cut;
    m_nOutLength -= cut;
    if (m_nOutLength + uint64_t{count} > kOutputRoom && !WriteOutEntries())
      return *failed = true, nullptr;
  }
  if (uint64_t{count} + kBufferSlack > kOutputRoom) return nullptr;
  if (!m_pOut) m_pOut = static_cast<unsigned char*>(VrkAlloc(kOutputRoom + kBufferSlack));
  return m_pOut ? m_pOut + m_nOutLength : nullptr;
}

bool CVrkAdvBuilder::WriteOutEntries() {
  if (m_nOutLength == 0) return true;
  const uint32_t n = m_nOutLength;
  m_nOutLength = 0;
  const bool ok = WriteDiskFileAt(m_hWriteFile, m_pOut, n, m_nOutStart) == n;
  m_nOutStart += n;
  return ok;
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
  if (got == 0 && !(storedSize == 0 && GlobalError() == VRKERR_OK))
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
    m_nOutStart = GetDiskFileSize(m_hWriteFile);
    m_nOutLength = 0;
    if (m_nOutStart == kFileFailure) {
      CloseWriteFile();
      return SetError(VRKERR_SEEK), 0;
    }
  }
  // Appending (the patcher's way) goes on after the entries waiting;
  // anywhere else they are written out first.
  if (origin != 2 || distance != 0) {
    const uint32_t at = WriteOutEntries() ? SeekDiskFile(m_hWriteFile, distance, origin) : kFileFailure;
    if (at == kFileFailure) {
      CloseWriteFile();
      return SetError(VRKERR_SEEK), 0;
    }
    m_nOutStart = at;
  }
  const int result = WritePatchBlockTo(m_hWriteFile);
  if (!result) CloseWriteFile();
  return result;
}

bool CVrkAdvBuilder::CloseWriteFile() {
  if (m_hWriteFile == kInvalidFile) return true;
  // The disk writes it while the build goes on; the sync waits for the end.
  bool ok = WriteOutEntries();
  ok = StartDiskFileWriteback(m_hWriteFile) && ok;
  CloseDiskFile(m_hWriteFile);
  m_hWriteFile = kInvalidFile;
  bool pending = false;
  for (unsigned i = 0; i < m_nPendingFiles; ++i)
    pending |= std::strcmp(m_aPendingFiles[i], m_szWriteFile) == 0;
  if (ok && !pending && m_nPendingFiles == kPendingFiles) ok = SyncBlockFiles();
  if (ok && !pending) std::strcpy(m_aPendingFiles[m_nPendingFiles++], m_szWriteFile);
  m_szWriteFile[0] = '\0';
  return ok;
}

bool CVrkAdvBuilder::SyncBlockFiles() {
  bool ok = true;
  char dir[kMaxJoinedPath + 1] = "", last[kMaxJoinedPath + 1] = "";
  for (unsigned i = 0; i < m_nPendingFiles; ++i) {
    ok = ok && SyncDiskFilePath(m_aPendingFiles[i]);
    // Their names, when they were created: one sync per directory.
    GetPathDirectory(m_aPendingFiles[i], dir);
    if (ok && (i == 0 || std::strcmp(dir, last) != 0)) ok = SyncPathDirectory(m_aPendingFiles[i]);
    std::strcpy(last, dir);
  }
  // Kept on failure: no patch file may refer to them before a sync succeeds.
  if (ok) m_nPendingFiles = 0;
  return ok;
}

void CVrkAdvBuilder::CloseBlockFile() {
  m_szBlockFile[0] = '\0';
  m_nRunLength = 0;
  CloseDiskFile(m_hBlockFile);
  m_hBlockFile = kInvalidFile;
}

int CVrkAdvBuilder::HoldBlockFile(const char* blockPath) {
  if (std::strcmp(blockPath, m_szBlockFile) == 0 && m_hBlockFile != kInvalidFile)
    return VRKERR_OK;
  CloseBlockFile();
  CloseWriteFile();
  const bool remote = IsRemotePath(blockPath);
  if (!remote && !DiskFileExists(blockPath)) return VRKERR_NO_SOURCE;
  // A block file at a URL is read entry by entry, exactly: a copy needs the
  // entries above its level, which ReadBlockEntry fetches in runs.
  m_hBlockFile = OpenDiskFileEx(blockPath, kModeReadExclusive,
                                remote ? kAttrNormal | kAttrRandomAccess : kAttrNormal);
  if (m_hBlockFile == kInvalidFile)
    return remote && VrkLastSystemError() == ENOENT ? VRKERR_NO_SOURCE : VRKERR_OPEN_FILE;
  m_bRemoteBlockFile = remote;
  // Held without sharing, so its size stays as it is while it is held.
  m_nBlockFileSize = GetDiskFileSize(m_hBlockFile);
  std::strcpy(m_szBlockFile, blockPath);
  return VRKERR_OK;
}

uint32_t CVrkAdvBuilder::RunLength() const {
  // The current entry, then the entries of the records after it that lie
  // right behind it in the same block file (the same level, so the same
  // copy needs them), up to kRunBytes.
  const PatchData* r = m_pCurData;
  const PatchData* const end = m_pData + m_nDataCount;
  uint64_t length = uint64_t{r->storedSize} + 4;
  for (const PatchData* next = r + 1; next < end; ++next) {
    const uint64_t grown = length + next->storedSize + 4;
    if (next->versionLow != r->versionLow || next->offset != r->offset + length ||
        grown > kRunBytes || r->offset + grown > m_nBlockFileSize)
      break;
    length = grown;
  }
  return static_cast<uint32_t>(length);
}

unsigned CVrkAdvBuilder::ReadEntryBytes(unsigned char* out, uint32_t count, uint32_t offset) {
  if (!m_bRemoteBlockFile) return ReadDiskFileAt(m_hBlockFile, out, count, offset);
  // A block file at a URL: entries that follow each other come in one
  // request, and each byte is fetched once.
  if (offset >= m_nRunAt && uint64_t{offset} + count <= uint64_t{m_nRunAt} + m_nRunLength) {
    std::memcpy(out, m_pRun + (offset - m_nRunAt), count);
    return count;
  }
  m_nRunLength = 0;
  const uint32_t run = RunLength();
  if (run <= count) return ReadDiskFileAt(m_hBlockFile, out, count, offset);
  if (run > m_nRunRoom) {
    VrkFree(m_pRun);
    m_nRunRoom = 0;
    m_pRun = static_cast<unsigned char*>(VrkAlloc(run));
    if (!m_pRun) return ReadDiskFileAt(m_hBlockFile, out, count, offset);
    m_nRunRoom = run;
  }
  const unsigned got = ReadDiskFileAt(m_hBlockFile, m_pRun, run, offset);
  if (got != run) return 0;
  m_nRunAt = offset;
  m_nRunLength = run;
  std::memcpy(out, m_pRun, count);
  return count;
}

int CVrkAdvBuilder::ReadBlockEntry(unsigned char* out) {
  const PatchData& r = *m_pCurData;
  const uint32_t count = r.storedSize + 4;
  const uint32_t got = ReadEntryBytes(out, count, r.offset);
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
