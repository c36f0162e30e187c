// Taking the name list in from the list side file. An open only opens that
// file: its names are read, checked and split at the first operation that
// needs one, so that lookups by name (which need only the tables) and
// commits that change no name never pay for a large list.
#include <errno.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <memory>

#include "advance/AdvancePaths.h"
#include "advance/CheckedRead.h"
#include "advance/VrkAdvance.h"
#include "codec/CompressBuffer.h"
#include "codec/FileNameList.h"
#include "codec/ListBudget.h"
#include "frame/ErrorCode.h"
#include "frame/RemoteFile.h"

namespace orvel {

namespace {

using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

std::atomic<bool> g_deferred{true};

// The names and name bytes (each with its line feed) the name list takes
// for `length` bytes of list text, split as LoadListText splits them.
void MeasureListText(const char* text, uint32_t length, uint64_t* names, uint64_t* bytes) {
  *names = 0;
  *bytes = 0;
  const char* piece = text;
  const char* end = text + length;
  while (piece < end) {
    const char* lf = static_cast<const char*>(std::memchr(piece, '\n', end - piece));
    const char* stop = lf ? lf : end;
    // A NUL ends a name early, as it will when the name is added.
    const size_t n = strnlen(piece, static_cast<size_t>(stop - piece));
    if (n) {
      ++*names;
      *bytes += n + 1;
    }
    piece = stop + 1;
  }
}

}  // namespace

void SetDeferredNameListEnabled(bool enabled) { g_deferred.store(enabled); }

bool DeferredNameListEnabled() { return g_deferred.load(std::memory_order_relaxed); }

int CVrkAdvance::LoadListFile(const char* listPath) {
  if (!listPath) return SetError(VRKERR_BAD_EXTENSION), 0;
  if (!OpenListSideFile(listPath)) return SetError(VRKERR_OPEN_FILE), 0;
  if (!m_pNameList) return SetError(VRKERR_NO_MEMORY), 0;
  if (m_hListFile == kInvalidFile) {
    // No list side file: the archive opens with an empty name list.
    SetError(VRKERR_OPEN_FILE);
    return 1;
  }
  return EnsureNames() == VRKERR_OK ? 1 : 0;
}

bool CVrkAdvance::OpenListSideFile(const char* listPath) {
  if (!m_pNameList) m_pNameList = new CFileNameList();
  if (m_pNameList) m_pNameList->Clear();
  m_listCache.Clear();
  m_bNamesPending = 0;
  m_bListOnDisk = false;
  if (m_hListFile != kInvalidFile) CloseDiskFile(m_hListFile);
  // Read in order when read at all; but a remote list is not fetched whole
  // now: the open asks for its first bytes, and the names fetch the rest at
  // their first use.
  const bool sequential = m_bReadOnly && !IsRemotePath(listPath);
  m_hListFile = OpenDiskFileEx(listPath,
                               m_bReadOnly ? kModeReadShared : kModeReadWriteShared,
                               kAttrWriteThrough | (sequential ? kAttrSequentialScan : 0));
  if (m_hListFile == kInvalidFile && !m_bReadOnly) {
    // A list side file that is there but cannot be written makes the
    // archive read-only: no commit may write tables without their names.
    m_hListFile = OpenDiskFileEx(listPath, kModeReadShared, kAttrNormal);
    if (m_hListFile != kInvalidFile || DiskFileExists(listPath)) m_bReadOnly = 1;
  }
  // Without a list side file the name list stays empty.
  m_bNamesPending = m_pNameList && m_hListFile != kInvalidFile;
  // A remote list side file that is there but could not be fetched fails
  // the open: only a missing one is taken for no list.
  return !(m_hListFile == kInvalidFile && IsRemotePath(listPath) &&
           VrkLastSystemError() != ENOENT);
}

int CVrkAdvance::EnsureNames() {
  if (!m_bNamesPending) return VRKERR_OK;
  const int rc = DecodeListFile();
  if (rc == VRKERR_OK) m_bNamesPending = 0;
  return rc;
}

int CVrkAdvance::DecodeListFile() {
  m_pNameList->Clear();
  m_listCache.Clear();
  m_bListOnDisk = false;
  AdvanceBlockEntry record;
  int rc = ReadChecked(m_hListFile, &record, sizeof(record), 0,
                       VRKERR_LIST_FILE_IO);
  if (rc != VRKERR_OK) return SetError(rc);

  // Sizes come from the file; check them against it before allocating.
  const uint64_t fileSize = GetDiskFileSize(m_hListFile);
  if (fileSize == kFileFailure ||
      uint64_t{record.offset} + record.storedSize > fileSize)
    return SetError(VRKERR_LIST_FILE_IO);
  const uint64_t budget =
      ListMemoryBudget(uint64_t{kListRecordSize} + record.storedSize + kChecksumSize);
  uint64_t cost = uint64_t{record.storedSize} + 1;
  Block stored(static_cast<unsigned char*>(VrkAlloc(uint64_t{record.storedSize} + 1)));
  if (!stored) return SetError(VRKERR_NO_MEMORY);
  rc = ReadChecked(m_hListFile, stored.get(), record.storedSize, record.offset,
                   VRKERR_LIST_FILE_IO);
  if (rc != VRKERR_OK) return SetError(rc);

  Block text;
  uint32_t length = record.storedSize;
  if ((record.flags & kFileCompressed) && m_pCompressor) {
    // LZO1X expands at most about 255 to 1; a larger claim is damage. The
    // text and the cache's copies of it and of the stored bytes come next.
    cost += 2 * (uint64_t{record.originalSize} + 1) + record.storedSize;
    if (!IsPlausibleExpansion(record.storedSize, record.originalSize) || cost > budget)
      return SetError(VRKERR_LIST_FILE_IO);
    text.reset(static_cast<unsigned char*>(VrkAlloc(uint64_t{record.originalSize} + 1)));
    if (!text) return SetError(VRKERR_NO_MEMORY);
    if (!m_pCompressor->Decompress(stored.get(), record.storedSize,
                                   record.originalSize, text.get()))
      return SetError(VRKERR_LIST_FILE_IO);
    length = record.originalSize;
    // A commit that leaves the names as they are writes these bytes again
    // instead of compressing the list anew.
    m_listCache.Keep(text.get(), length, stored.get(), record.storedSize);
    m_listRecord = record;
  } else {
    text = std::move(stored);
  }
  text.get()[length] = 0;
  if (!LoadListText(reinterpret_cast<char*>(text.get()), length, budget - cost)) {
    m_listCache.Clear();
    return LastError();
  }
  // Names taken in as the file spells them need not be written back.
  m_bListOnDisk = m_pNameList->m_szBuffer &&
                  m_listCache.Holds(m_pNameList->m_szBuffer,
                                    static_cast<uint32_t>(m_pNameList->m_nBufferSize) + 1);
  return VRKERR_OK;
}

int CVrkAdvance::LoadListText(char* text, uint32_t length, uint64_t room) {
  // Sized once for every name, so that taking them in never regrows.
  uint64_t names = 0;
  uint64_t bytes = 0;
  MeasureListText(text, length, &names, &bytes);
  if (names * sizeof(NameEntry) + bytes + 1 > room || bytes + 1 > INT_MAX)
    return SetError(VRKERR_LIST_FILE_IO), 0;
  m_pNameList->Reserve(names > 0 ? static_cast<int>(names) : 1,
                       static_cast<int>(bytes + 1));
  // Names are kept lower-cased; split at line feeds, skipping empty pieces.
  for (uint32_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 'A' && c <= 'Z') text[i] = static_cast<char>(c + 32);
  }
  char* piece = text;
  char* end = text + length;
  while (piece < end) {
    char* lf = static_cast<char*>(std::memchr(piece, '\n', end - piece));
    char* stop = lf ? lf : end;
    *stop = 0;
    if (*piece) m_pNameList->AddName(piece);
    piece = stop + 1;
  }
  // The list reports a failed allocation only as an assertion; a list short
  // of names would lose them at the next commit.
  if (static_cast<uint64_t>(m_pNameList->m_nKeyNameCount) != names) {
    m_pNameList->Clear();
    return SetError(VRKERR_NO_MEMORY), 0;
  }
  SetError(VRKERR_OK);
  return 1;
}

int CVrkAdvance::SettleUnreadList() {
  if (!m_bNamesPending) return VRKERR_OK;
  const SavedError code;
  const AdvanceBlockEntry* entry =
      FindBlockByHash(m_aListFileHash[0], m_aListFileHash[1], m_aListFileHash[2], kNone);
  code.Restore();
  // Without the list's entry a commit writes no names.
  if (!entry) return VRKERR_OK;
  m_bListOnDisk = false;
  const int rc = ReadChecked(m_hListFile, &m_listRecord, sizeof m_listRecord, 0,
                             VRKERR_LIST_FILE_IO);
  if (rc != VRKERR_OK) return rc;
  // The names waiting on disk are the list's by definition; only compressed
  // text is what writing them gives. Anything else (a moved hash entry, a
  // text stored uncompressed or elsewhere) is written as always, from the
  // names.
  m_bListOnDisk = (m_listRecord.flags & kFileCompressed) && m_pCompressor;
  if (ListFileStands(*entry)) return VRKERR_OK;
  return EnsureNames();
}

}  // namespace orvel
