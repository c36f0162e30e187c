// The advanced archive under the writer lock and the rollback journal: its
// three files commit together or not at all, and every bracket starts from
// the latest commit of any writer.
#include <cstring>
#include <initializer_list>

#include "advance/AdvancePaths.h"
#include "advance/VrkAdvance.h"
#include "frame/ErrorCode.h"
#include "frame/GuardedCalls.h"
#include "frame/RemoteFile.h"

namespace orvel {

namespace {

// The journal's indexes of the files.
constexpr unsigned kArchiveIndex = 0;
constexpr unsigned kTableIndex = 1;
constexpr unsigned kListIndex = 2;

}  // namespace

bool CVrkAdvance::NameGuardedFiles() {
  if (m_guard.InBracket()) return true;
  char tablePath[kMaxPath];
  char listPath[kMaxPath];
  SidePath(kTableFileExtension, tablePath);
  SidePath(kListFileExtension, listPath);
  const char* sides[2] = {tablePath, listPath};
  return m_guard.SetPaths(m_szPath, sides, 2, kCompactTempSuffix);
}

int CVrkAdvance::OpenPacket(const char* path) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  const size_t length = std::strlen(path);
  if (length >= kMaxPath || m_guard.InBracket()) {
    const int ok = OpenPacketLocked(path);
    if (ok && m_guard.InBracket()) AttachHandles();
    return ok;
  }
  std::memmove(m_szPath, path, length + 1);  // reopening passes m_szPath itself
  // A remote archive has no writers to wait for, and no lock to take.
  if (!HasArchiveExtension(m_szPath) || IsRemotePath(m_szPath) || !NameGuardedFiles())
    return OpenPacketLocked(m_szPath);
  return GuardedCalls<CVrkAdvance>::Open(m_guard, *this);
}

int CVrkAdvance::ReloadTables() { return OpenPacketLocked(m_szPath); }

void CVrkAdvance::AttachHandles() {
  m_guard.Attach(kArchiveIndex, m_hPacket);
  m_guard.Attach(kTableIndex, m_hTableFile);
  m_guard.Attach(kListIndex, m_hListFile);
}

void CVrkAdvance::CloseHandles() {
  for (FileHandle* h : {&m_hPacket, &m_hTableFile, &m_hListFile}) {
    if (*h != kInvalidFile) CloseDiskFile(*h);
    *h = kInvalidFile;
  }
}

int CVrkAdvance::StartBracket() {
  if (m_bReadOnly || m_hPacket == kInvalidFile || !m_pHeader) return VRKERR_OK;
  return GuardedCalls<CVrkAdvance>::StartBracket(m_guard, *this);
}

void CVrkAdvance::Refresh() { GuardedCalls<CVrkAdvance>::Refresh(m_guard, *this); }

int CVrkAdvance::FinishBracket(int rc) {
  return GuardedCalls<CVrkAdvance>::FinishBracket(m_guard, *this, rc);
}

// Folds what any commit changes into one word: the three files' identity,
// sizes and times, the side header, the checksum words of both tables and
// the header copy in the archive file.
uint32_t CVrkAdvance::DiskFingerprint() {
  uint32_t f = FingerprintFile(0, m_szPath);
  char sidePath[kMaxPath];
  SidePath(kTableFileExtension, sidePath);
  f = FingerprintFile(f, sidePath);
  SidePath(kListFileExtension, sidePath);
  f = FingerprintFile(f, sidePath);
  const SavedError code;
  AdvanceHeader h;
  if (m_hTableFile != kInvalidFile &&
      ReadDiskFileAt(m_hTableFile, &h, sizeof h, 0) == sizeof h) {
    f = FingerprintBytes(f, &h, sizeof h);
    uint32_t word = 0;
    const uint64_t blockEnd =
        uint64_t{h.blockTableOffset} + uint64_t{h.fileCount} * sizeof(AdvanceBlockEntry);
    const uint64_t hashEnd = uint64_t{h.hashTableOffset} + uint64_t{h.tableSize} * sizeof(HashEntry);
    if (blockEnd < 0xFFFFFFF0u && ReadDiskFileAt(m_hTableFile, &word, 4, static_cast<uint32_t>(blockEnd)) == 4)
      f = FingerprintBytes(f, &word, 4);
    if (hashEnd < 0xFFFFFFF0u && ReadDiskFileAt(m_hTableFile, &word, 4, static_cast<uint32_t>(hashEnd)) == 4)
      f = FingerprintBytes(f, &word, 4);
  }
  if (m_hPacket != kInvalidFile &&
      ReadDiskFileAt(m_hPacket, &h, sizeof h, kHeaderCopyOffset) == sizeof h)
    f = FingerprintBytes(f, &h, sizeof h);
  code.Restore();
  return f;
}

}  // namespace orvel
