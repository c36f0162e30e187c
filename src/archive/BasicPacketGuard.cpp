// The basic archive under the writer lock and the rollback journal: opening
// after recovery, update brackets that work on the latest commit, and
// commits that become durable as a whole or not at all.
#include <cstring>

#include "archive/BasicPacket.h"
#include "frame/ErrorCode.h"
#include "frame/GuardedCalls.h"

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
    if (ok && m_guard.InBracket()) AttachHandles();
    return ok;
  }
  char copy[basic::kMaxPath];  // `path` may be m_szPath itself
  std::memcpy(copy, path, length + 1);
  std::memcpy(m_szPath, copy, length + 1);
  if (!NameGuardedFiles()) return OpenPacketLocked(copy);
  return GuardedCalls<COrvelPacket>::Open(m_guard, *this);
}

int COrvelPacket::ReloadTables() {
  char path[basic::kMaxPath];
  std::memcpy(path, m_szPath, sizeof path);
  return OpenPacketLocked(path);
}

void COrvelPacket::AttachHandles() { m_guard.Attach(0, m_hFile); }

void COrvelPacket::CloseHandles() {
  if (m_hFile != kInvalidFile) CloseDiskFile(m_hFile);
  m_hFile = kInvalidFile;
}

int COrvelPacket::StartBracket() {
  if (m_bReadOnly || m_hFile == kInvalidFile || !m_pHeader) return VRKERR_OK;
  return GuardedCalls<COrvelPacket>::StartBracket(m_guard, *this);
}

void COrvelPacket::Refresh() { GuardedCalls<COrvelPacket>::Refresh(m_guard, *this); }

int COrvelPacket::FinishBracket(int rc) {
  return GuardedCalls<COrvelPacket>::FinishBracket(m_guard, *this, rc);
}

int COrvelPacket::BracketError() {
  if (m_nUpdateCount == 0) return SetError(VRKERR_NOT_UPDATING);
  return SetError(m_nBracketError);
}

// Folds what any commit changes into one word: the file's identity, size
// and times, the header, and the block table it points to.
uint32_t COrvelPacket::DiskFingerprint() {
  uint32_t f = FingerprintFile(0, m_szPath);
  if (m_hFile == kInvalidFile) return f;
  const SavedError code;
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
  code.Restore();
  return f;
}

}  // namespace orvel
