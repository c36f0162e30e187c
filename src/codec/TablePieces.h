// A table written in pieces of kPieceEntries entries, as its last write left
// it in the file: per piece the CRC-32 of its stored bytes and whether the
// open update changed it, and, for tables stored enciphered, the stored
// bytes themselves in one contiguous buffer. A commit then enciphers, sums
// and writes only the changed pieces, and the table's checksum comes from
// the pieces' sums without the data.
//
// Plain tables are stored as they are in memory: their stored bytes are the
// table itself. An enciphered table needs its stored bytes only when it
// moves in its file (the block table before it grew or shrank) and every
// piece must be written: the copy is made then, not at opening, which it
// would slow.
#ifndef ORVEL_CODEC_TABLE_PIECES_H
#define ORVEL_CODEC_TABLE_PIECES_H

#include <cstdint>

#include "codec/checksum_crc.h"

namespace orvel {

// Tracking is on unless a bench turns it off to measure what it saves; off,
// every commit writes the tables (and the advanced archive's unchanged name
// list) whole.
void SetTablePiecesEnabled(bool enabled);
bool TablePiecesEnabled();

class TablePieces {
 public:
  static constexpr uint32_t kPieceEntries = 64;

  explicit TablePieces(uint32_t entrySize) : m_nEntrySize(entrySize) {}
  ~TablePieces() { Reset(); }
  TablePieces(const TablePieces&) = delete;
  TablePieces& operator=(const TablePieces&) = delete;

  uint32_t EntrySize() const { return m_nEntrySize; }
  // Nothing is known of the file: the next write is a whole one.
  void Reset();
  // Takes the `count` entries of stored bytes just read from the file at
  // `offset`. True when they sum to `crc`; false otherwise (nothing is
  // known then).
  bool Load(const void* stored, uint32_t count, uint32_t offset, uint32_t crc);
  // Entry `index` changed in memory.
  void Mark(uint32_t index) {
    if (m_bKnown && (index / kPieceEntries) < m_nPieceRoom) m_pChanged[index / kPieceEntries] = 1;
  }

  // Before a write of `count` entries at `offset`: makes room for them and
  // marks what must be enciphered and summed. True when only the marked
  // pieces need writing; false when every piece must be written (nothing
  // known, or the table moved). An enciphered table (`enciphered`) that
  // must be written whole gets its copy of stored bytes here. Fails
  // (returns false, *ok false) only without memory.
  bool Prepare(uint32_t count, uint32_t offset, bool enciphered, bool* ok);
  uint32_t Pieces() const { return (m_nCount + kPieceEntries - 1) / kPieceEntries; }
  uint32_t PieceBytes(uint32_t piece) const;
  bool Changed(uint32_t piece) const { return m_pChanged[piece] != 0; }
  // Where piece `piece`'s stored bytes are kept: in the copy, or (plain
  // tables) in `table` itself; null for an enciphered table without a copy
  // (the writer enciphers changed pieces through a buffer of its own).
  unsigned char* Stored(uint32_t piece, const void* table, bool enciphered) const;
  // Piece `piece` now holds these stored bytes, as written.
  void SetPiece(uint32_t piece, uint32_t crc) {
    m_pCrc[piece] = crc;
    m_pChanged[piece] = 0;
  }
  // The CRC-32 of the whole table from the pieces' sums.
  uint32_t TableCrc();
  // The write went through: the file holds what the pieces say.
  void Written() { m_bKnown = true; }
  // The write failed: what the file holds is unknown.
  void Failed() { m_bKnown = false; }

 private:
  bool Reserve(uint32_t count);
  bool ReserveCopy(uint32_t count);

  uint32_t m_nEntrySize;
  Crc32Append* m_pAppend = nullptr;  // combines a whole piece's sum, made when first needed
  uint32_t m_nCount = 0;        // entries the pieces cover
  uint32_t m_nOffset = 0;       // where the table starts in its file
  uint32_t m_nPieceRoom = 0;    // pieces the arrays have room for
  uint32_t* m_pCrc = nullptr;
  uint8_t* m_pChanged = nullptr;
  unsigned char* m_pCopy = nullptr;  // stored bytes of enciphered tables
  uint32_t m_nCopyRoom = 0;          // entries the copy has room for
  bool m_bKnown = false;
};

}  // namespace orvel

#endif
