// Writing the side header, the block and hash tables (in pieces of 64
// entries, enciphered and checksummed as they go), the header copy and the
// signature of the archive file.
#include <cstring>

#include "advance/VrkAdvance.h"
#include "codec/IceCipher.h"
#include "codec/TablePieces.h"
#include "codec/checksum_crc.h"
#include "frame/Callbacks.h"
#include "frame/ErrorCode.h"

namespace orvel {

void CVrkAdvance::EncipherBuffer(void* buffer, int length) {
  if (buffer && length >= 8) orvel::EncipherBuffer(buffer, static_cast<unsigned>(length));
}

int CVrkAdvance::WriteSignature(FileHandle file) {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY), 0;
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  unsigned char signature[kSignatureSize];
  std::memcpy(signature, kMagic, 4);
  std::memcpy(signature + 4, &kFormatVersion, 4);
  if (WriteDiskFileAt(file, signature, kSignatureSize, 0) != kSignatureSize)
    return SetError(VRKERR_SIGNATURE_IO), 0;
  return SetError(VRKERR_OK), 1;
}

int CVrkAdvance::WriteHeader(FileHandle file) {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY), 0;
  if (file == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  const uint32_t size = GetDiskFileSize(file);
  if (size == kFileFailure) return SetError(VRKERR_SEEK), 0;
  m_pHeader->fileSize = size;
  if (WriteDiskFileAt(file, m_pHeader, sizeof(AdvanceHeader), kHeaderCopyOffset) !=
      sizeof(AdvanceHeader))
    return SetError(VRKERR_HEADER_IO), 0;
  return SetError(VRKERR_OK), 1;
}

int CVrkAdvance::WriteSideHeader() {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY), 0;
  if (m_hTableFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (SeekDiskFile(m_hTableFile, 0, 0) != 0) return SetError(VRKERR_SEEK), 0;
  if (WriteDiskFile(m_hTableFile, m_pHeader, sizeof(AdvanceHeader)) !=
      sizeof(AdvanceHeader))
    return SetError(VRKERR_HEADER_IO), 0;
  const uint32_t crc = Crc32(m_pHeader, sizeof(AdvanceHeader));
  if (WriteDiskFile(m_hTableFile, &crc, 4) != 4) return SetError(VRKERR_CHECKSUM_IO), 0;
  return SetError(VRKERR_OK), 1;
}

namespace {

// Writes `count` entries of `entrySize` bytes from `table` at the current
// position of `file`, in pieces of kTablePiece entries through one buffer,
// each piece enciphered when asked and reported to callback `kind`, then the
// checksum word of the bytes as written. Returns the position after it, or 0
// with the error code set (`ioCode` for the table bytes). The whole write,
// for when piece tracking is off.
unsigned WritePieces(CVrkAdvance* packet, FileHandle file, const void* table,
                     uint32_t entrySize, uint32_t count, bool encipher,
                     unsigned kind, int ioCode) {
  alignas(16) unsigned char piece[kTablePiece * sizeof(AdvanceBlockEntry)];
  const unsigned char* src = static_cast<const unsigned char*>(table);
  uint32_t crc = 0xFFFFFFFFu;
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = count - done < kTablePiece ? count - done : kTablePiece;
    const uint32_t bytes = n * entrySize;
    std::memcpy(piece, src + static_cast<size_t>(done) * entrySize, bytes);
    if (encipher) packet->EncipherBuffer(piece, static_cast<int>(bytes));
    FireCallback(kind, packet, static_cast<int>(count),
                 static_cast<int>(n == kTablePiece ? done : count));
    if (WriteDiskFile(file, piece, bytes) != bytes) return SetError(ioCode), 0;
    crc = Crc32Update(crc, piece, bytes);
    done += n;
  }
  crc = ~crc;
  if (WriteDiskFile(file, &crc, 4) != 4) return SetError(VRKERR_CHECKSUM_IO), 0;
  const unsigned pos = TellDiskFile(file);
  if (pos == kFileFailure) return SetError(VRKERR_SEEK), 0;
  SetError(VRKERR_OK);
  return pos;
}

// What one table write needs to know.
struct TableWrite {
  CVrkAdvance* packet;
  FileHandle file;
  const void* table;
  uint32_t entrySize;
  uint32_t count;
  uint32_t offset;
  bool encipher;
  unsigned kind;
  int ioCode;
};

// The same bytes as WritePieces, from what `pieces` knows: only changed
// pieces are enciphered and summed; only they are written when the table
// stays where it was, every piece (from its stored bytes) when it moved.
// Runs of neighbouring pieces go out in one write. The callback still
// reports every piece. Returns as WritePieces.
unsigned WriteChangedPieces(const TableWrite& w, TablePieces& pieces) {
  bool ok = true;
  const bool inPlace = pieces.Prepare(w.count, w.offset, w.encipher, &ok);
  if (!ok) {
    // Without memory for the pieces the table is written whole.
    pieces.Reset();
    if (SeekDiskFile(w.file, static_cast<int32_t>(w.offset), 0) != w.offset)
      return SetError(w.ioCode), 0;
    return WritePieces(w.packet, w.file, w.table, w.entrySize, w.count, w.encipher, w.kind,
                       w.ioCode);
  }
  const uint32_t pieceBytes = kTablePiece * w.entrySize;
  const unsigned char* src = static_cast<const unsigned char*>(w.table);
  // Changed pieces of an enciphered table without a copy of its stored
  // bytes (it has not moved since it was read) go out from here, one by one.
  alignas(16) unsigned char scratch[kTablePiece * sizeof(AdvanceBlockEntry)];
  const uint32_t total = pieces.Pieces();
  uint32_t runStart = 0, runBytes = 0;  // stored pieces waiting to be written
  auto writeRun = [&] {
    const uint32_t at = w.offset + runStart * pieceBytes;
    const unsigned char* bytes = pieces.Stored(runStart, w.table, w.encipher);
    const bool ok = WriteDiskFileAt(w.file, bytes, runBytes, at) == runBytes;
    runBytes = 0;
    return ok;
  };
  for (uint32_t p = 0; p < total; ++p) {
    const uint32_t bytes = pieces.PieceBytes(p);
    FireCallback(w.kind, w.packet, static_cast<int>(w.count),
                 static_cast<int>(bytes == pieceBytes ? p * kTablePiece : w.count));
    const bool changed = pieces.Changed(p);
    if (!changed && inPlace) {
      if (runBytes && !writeRun()) return pieces.Failed(), SetError(w.ioCode), 0;
      continue;
    }
    unsigned char* stored = pieces.Stored(p, w.table, w.encipher);
    if (changed) {
      if (w.encipher) {
        unsigned char* out = stored ? stored : scratch;
        std::memcpy(out, src + size_t{p} * pieceBytes, bytes);
        w.packet->EncipherBuffer(out, static_cast<int>(bytes));
        pieces.SetPiece(p, Crc32(out, bytes));
      } else {
        pieces.SetPiece(p, Crc32(stored, bytes));
      }
    }
    if (!stored) {
      if (runBytes && !writeRun()) return pieces.Failed(), SetError(w.ioCode), 0;
      if (WriteDiskFileAt(w.file, scratch, bytes, w.offset + p * pieceBytes) != bytes)
        return pieces.Failed(), SetError(w.ioCode), 0;
      continue;
    }
    if (!runBytes) runStart = p;
    runBytes += bytes;
  }
  if (runBytes && !writeRun()) return pieces.Failed(), SetError(w.ioCode), 0;
  const uint32_t crc = pieces.TableCrc();
  const uint32_t end = w.offset + w.count * w.entrySize;
  if (WriteDiskFileAt(w.file, &crc, 4, end) != 4)
    return pieces.Failed(), SetError(VRKERR_CHECKSUM_IO), 0;
  pieces.Written();
  SetError(VRKERR_OK);
  return end + kChecksumSize;
}

}  // namespace

unsigned CVrkAdvance::WriteTable(TablePieces& pieces, const void* table, uint32_t entrySize,
                                 uint32_t count, uint32_t offset, unsigned kind, int ioCode) {
  const bool encipher = m_bTablesEnciphered != 0;
  if (TablePiecesEnabled())
    return WriteChangedPieces(
        TableWrite{this, m_hTableFile, table, entrySize, count, offset, encipher, kind, ioCode},
        pieces);
  pieces.Reset();
  if (SeekDiskFile(m_hTableFile, static_cast<int32_t>(offset), 0) != offset)
    return SetError(ioCode), 0;
  return WritePieces(this, m_hTableFile, table, entrySize, count, encipher, kind, ioCode);
}

unsigned int CVrkAdvance::WriteBlockTable() {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (m_hTableFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pBlockTable) return SetError(VRKERR_NO_BLOCK_TABLE), 0;
  if (m_pHeader->fileCount == 0 || m_pHeader->firstBlock > 0)
    return SetError(VRKERR_OK), 0;
  if (m_pHeader->fileCount > m_nTableSize || m_pHeader->blockTableOffset > 0x7FFFFFFFu)
    return SetError(VRKERR_BLOCK_TABLE_IO), 0;
  return WriteTable(m_blockPieces, m_pBlockTable, sizeof(AdvanceBlockEntry),
                    m_pHeader->fileCount, m_pHeader->blockTableOffset,
                    VRKCB_WRITE_BLOCK_TABLE, VRKERR_BLOCK_TABLE_IO);
}

unsigned int CVrkAdvance::WriteHashTable() {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (m_hTableFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  if (!m_pHashTable) return SetError(VRKERR_NO_HASH_TABLE), 0;
  if (m_pHeader->fileCount == 0 || m_pHeader->firstBlock > 0)
    return SetError(VRKERR_OK), 0;
  const uint32_t offset = m_pHeader->hashTableOffset;
  if (offset > 0x7FFFFFFFu) return SetError(VRKERR_HASH_TABLE_IO), 0;
  return WriteTable(m_hashPieces, m_pHashTable, sizeof(HashEntry), m_nTableSize, offset,
                    VRKCB_WRITE_HASH_TABLE, VRKERR_HASH_TABLE_IO);
}

int CVrkAdvance::WriteTables(FileHandle archiveFile) {
  if (m_bReadOnly) return SetError(VRKERR_READ_ONLY), 0;
  if (!m_pHeader) return SetError(VRKERR_NO_HEADER), 0;
  if (archiveFile == kInvalidFile) return SetError(VRKERR_NOT_OPEN), 0;
  const uint32_t size = GetDiskFileSize(archiveFile);
  if (size == kFileFailure) return SetError(VRKERR_SEEK), 0;
  m_pHeader->fileSize = size;
  m_pHeader->blockTableOffset = kSideBlockTableOffset;
  const unsigned afterBlocks = WriteBlockTable();
  if (!afterBlocks) return 0;
  m_pHeader->hashTableOffset = afterBlocks;
  if (!WriteHashTable() || !WriteSideHeader() || !WriteHeader(archiveFile)) return 0;
  return SetError(VRKERR_OK), 1;
}

}  // namespace orvel
