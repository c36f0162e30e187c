// The basic archive under the writer lock and the rollback journal: opening
// after recovery, update brackets that work on the latest commit, and
// commits that become durable as a whole or not at all.
#include <cstring>

#include "archive/BasicPacket.h"
#include "frame/ErrorCode.h"

namespace orvel {

bool COrvelPacket::NameGuardedFiles() {
  if (m_guard.InBracket()) return true;
  return m_guard.SetPaths(m_szPath, nullptr, 0, "temp");
}

int COrvelPacket::OpenPacket(const char* path) {
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  const size_t length = strnlen(path, basic::kMaxPath);
  if (length >= basic::kMaxPath || m_guard.InBracket()) {
    const int ok = OpenPacketLocked(path);
    if (ok && m_guard.InBracket()) m_guard.Attach(0, m_hFile);
    return ok;
  }
  char copy[basic::kMaxPath];  // `path` may be m_szPath itself
  std::memcpy(copy, path, length + 1);
  std::memcpy(m_szPath, copy, length + 1);
  if (!NameGuardedFiles()) return OpenPacketLocked(copy);
  const int rc = m_guard.BeginOpen();
  if (rc != VRKERR_OK) {
    m_guard.EndOpen();
    OpenFailed(rc);
    return 0;
  }
  const int ok = OpenPacketLocked(copy);
  const int code = g_nVrkErrCode;
  if (ok) {
    m_guard.Remember(DiskFingerprint());
  } else {
    m_guard.Forget();
  }
  m_guard.EndOpen();
  SetError(code);
  return ok;
}

int COrvelPacket::StartBracket() {
  if (m_bReadOnly || m_hFile == kInvalidFile || !m_pHeader) return VRKERR_OK;
  const int rc = m_guard.BeginBracket();
  if (rc != VRKERR_OK) return rc;
  if (!m_guard.IsCurrent(DiskFingerprint())) {
    // Another writer committed since the tables were read: changes start
    // from its commit, not from the tables in memory.
    char path[basic::kMaxPath];
    std::memcpy(path, m_szPath, sizeof path);
    if (!OpenPacketLocked(path)) {
      const int code = g_nVrkErrCode;
      m_guard.EndBracket();
      return code;
    }
    m_guard.Remember(DiskFingerprint());
  }
  m_guard.Attach(0, m_hFile);
  return VRKERR_OK;
}

int COrvelPacket::BracketError() {
  if (m_nUpdateCount == 0) return SetError(VRKERR_NOT_UPDATING);
  return SetError(m_nBracketError);
}

// Ends the outermost bracket with the result of its commit: the journal is
// committed, or rolled back and the tables read again from the disk.
int COrvelPacket::FinishBracket(int rc) {
  if (rc == VRKERR_OK && !m_guard.Commit()) rc = VRKERR_HEADER_IO;
  if (rc == VRKERR_OK) {
    m_guard.Remember(DiskFingerprint());
  } else if (m_guard.InBracket()) {
    CloseDiskFile(m_hFile);
    m_hFile = kInvalidFile;
    m_guard.RollBack();
    char path[basic::kMaxPath];
    std::memcpy(path, m_szPath, sizeof path);
    OpenPacketLocked(path);
    m_guard.Forget();
  }
  m_guard.EndBracket();
  return SetError(rc);
}

// Folds what any commit changes into one word: the file's identity, size
// and times, the header, and the block table it points to.
uint32_t COrvelPacket::DiskFingerprint() {
  uint32_t f = FingerprintFile(0, m_szPath);
  if (m_hFile == kInvalidFile) return f;
  const int code = g_nVrkErrCode;
  basic::PacketHeader h;
  if (ReadDiskFileAt(m_hFile, &h, sizeof h, basic::kHeaderOffset) == sizeof h) {
    f = FingerprintBytes(f, &h, sizeof h);
    const uint64_t bytes = uint64_t{h.fileCount} * sizeof(BlockEntry);
    unsigned char piece[4096];
    for (uint64_t at = 0; at < bytes && bytes <= (64u << 20);) {
      const uint32_t n = static_cast<uint32_t>(bytes - at < sizeof piece ? bytes - at : sizeof piece);
      if (ReadDiskFileAt(m_hFile, piece, n, static_cast<uint32_t>(h.blockTableOffset + at)) != n)
        break;
      f = FingerprintBytes(f, piece, n);
      at += n;
    }
  }
  SetError(code);
  return f;
}

}  // namespace orvel
