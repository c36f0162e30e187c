#include "codec/TablePieces.h"

#include <atomic>
#include <cstring>
#include <new>

#include "frame/Allocation.h"

namespace orvel {

namespace {
std::atomic<bool> g_enabled{true};

// Grows `*array` of `room` elements to `grown`, keeping the contents; the
// new elements are set to `fill`. False without memory (nothing changes).
template <typename T>
bool Grow(T** array, uint64_t room, uint64_t grown, int fill) {
  T* bigger = static_cast<T*>(VrkAlloc(grown * sizeof(T)));
  if (!bigger) return false;
  if (room) std::memcpy(bigger, *array, room * sizeof(T));
  std::memset(bigger + room, fill, (grown - room) * sizeof(T));
  VrkFree(*array);
  *array = bigger;
  return true;
}

}  // namespace

void SetTablePiecesEnabled(bool enabled) { g_enabled.store(enabled); }
bool TablePiecesEnabled() { return g_enabled.load(std::memory_order_relaxed); }

void TablePieces::Reset() {
  VrkFree(m_pCrc);
  VrkFree(m_pChanged);
  VrkFree(m_pCopy);
  if (m_pAppend) {
    m_pAppend->~Crc32Append();
    VrkFree(m_pAppend);
  }
  m_pAppend = nullptr;
  m_pCrc = nullptr;
  m_pChanged = nullptr;
  m_pCopy = nullptr;
  m_nPieceRoom = m_nCopyRoom = m_nCount = m_nOffset = 0;
  m_bKnown = false;
}

bool TablePieces::Reserve(uint32_t count) {
  const uint32_t pieces = (count + kPieceEntries - 1) / kPieceEntries;
  if (pieces <= m_nPieceRoom) return true;
  // Room grows geometrically: adds one at a time must not copy each time.
  uint32_t room = m_nPieceRoom ? m_nPieceRoom : 16;
  while (room < pieces) room *= 2;
  // New pieces count as changed until written.
  if (!Grow(&m_pCrc, m_nPieceRoom, room, 0) || !Grow(&m_pChanged, m_nPieceRoom, room, 1))
    return false;
  m_nPieceRoom = room;
  return true;
}

bool TablePieces::ReserveCopy(uint32_t count) {
  if (m_pCopy && count <= m_nCopyRoom) return true;
  const uint64_t room = uint64_t{m_nPieceRoom} * kPieceEntries;
  if (!Grow(&m_pCopy, uint64_t{m_nCopyRoom} * m_nEntrySize, room * m_nEntrySize, 0)) return false;
  m_nCopyRoom = static_cast<uint32_t>(room);
  return true;
}

bool TablePieces::Load(const void* stored, uint32_t count, uint32_t offset, uint32_t crc) {
  m_bKnown = false;
  // The copy described the file before this read.
  VrkFree(m_pCopy);
  m_pCopy = nullptr;
  m_nCopyRoom = 0;
  if (!TablePiecesEnabled() || !Reserve(count)) {
    Reset();
    return Crc32(stored, size_t{count} * m_nEntrySize) == crc;
  }
  m_nCount = count;
  m_nOffset = offset;
  const unsigned char* bytes = static_cast<const unsigned char*>(stored);
  for (uint32_t p = 0; p < Pieces(); ++p) {
    m_pCrc[p] = Crc32(bytes + size_t{p} * kPieceEntries * m_nEntrySize, PieceBytes(p));
    m_pChanged[p] = 0;
  }
  if (TableCrc() != crc) return false;
  m_bKnown = true;
  return true;
}

bool TablePieces::Prepare(uint32_t count, uint32_t offset, bool enciphered, bool* ok) {
  *ok = Reserve(count);
  if (!*ok) return false;
  if (!m_bKnown) {
    std::memset(m_pChanged, 1, m_nPieceRoom);
  } else if (count != m_nCount) {
    // The piece that held the last entry, and every piece up to the new
    // last one, changed length or content.
    const uint32_t low = count < m_nCount ? count : m_nCount;
    const uint32_t high = count < m_nCount ? m_nCount : count;
    for (uint32_t p = low / kPieceEntries; p <= (high - 1) / kPieceEntries; ++p) m_pChanged[p] = 1;
  }
  const bool inPlace = m_bKnown && offset == m_nOffset;
  if (!enciphered) {
    VrkFree(m_pCopy);
    m_pCopy = nullptr;
    m_nCopyRoom = 0;
  } else if (m_pCopy || !inPlace) {
    // Unchanged pieces are written from the copy; a new copy is filled by
    // enciphering every piece once.
    if (!m_pCopy) std::memset(m_pChanged, 1, m_nPieceRoom);
    *ok = ReserveCopy(count);
    if (!*ok) return false;
  }
  m_nCount = count;
  m_nOffset = offset;
  // Until the write went through, the file is not what the pieces say.
  m_bKnown = false;
  return inPlace;
}

uint32_t TablePieces::PieceBytes(uint32_t piece) const {
  const uint32_t first = piece * kPieceEntries;
  const uint32_t n = m_nCount - first < kPieceEntries ? m_nCount - first : kPieceEntries;
  return n * m_nEntrySize;
}

unsigned char* TablePieces::Stored(uint32_t piece, const void* table, bool enciphered) const {
  const size_t at = size_t{piece} * kPieceEntries * m_nEntrySize;
  if (enciphered) return m_pCopy ? m_pCopy + at : nullptr;
  return static_cast<unsigned char*>(const_cast<void*>(table)) + at;
}

uint32_t TablePieces::TableCrc() {
  const uint32_t pieces = Pieces();
  if (pieces == 0) return 0;
  if (!m_pAppend) {
    void* memory = VrkAlloc(sizeof(Crc32Append));
    if (memory)
      m_pAppend = new (memory) Crc32Append(uint64_t{kPieceEntries} * m_nEntrySize);
  }
  uint32_t crc = m_pCrc[0];
  for (uint32_t p = 1; p < pieces; ++p) {
    const uint32_t bytes = PieceBytes(p);
    if (m_pAppend && bytes == kPieceEntries * m_nEntrySize) {
      crc = (*m_pAppend)(crc, m_pCrc[p]);
    } else {
      crc = Crc32Combine(crc, m_pCrc[p], bytes);
    }
  }
  return crc;
}

}  // namespace orvel
