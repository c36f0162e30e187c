#include "FuzzPlain.h"

#include <algorithm>
#include <vector>

#include "archive/BlockScramble.h"
#include "codec/IceCipher.h"

namespace orvel_fuzz {

namespace {

namespace basic = orvel::basic;

// The process-wide cipher key is set up by every advanced archive object;
// the mutator may run before any exists.
void KeyCipherOnce() {
  static const bool keyed = (orvel::KeyArchiveCipher(), true);
  (void)keyed;
}

void Cipher(std::string& s, Span span, bool encipher) {
  if (!span.valid || span.size < 8) return;
  KeyCipherOnce();
  if (encipher)
    orvel::EncipherBuffer(&s[span.at], static_cast<unsigned>(span.size));
  else
    orvel::DecipherBuffer(&s[span.at], static_cast<unsigned>(span.size));
}

// The ring's entries are on disk in ring order, so the chain runs over them
// as one run from the first.
void Scramble(std::string& s, Span span, bool scramble) {
  if (!span.valid || span.size == 0) return;
  const uint32_t count = static_cast<uint32_t>(span.size / sizeof(basic::BlockEntry));
  std::vector<basic::BlockEntry> table(count);
  std::memcpy(table.data(), &s[span.at], span.size);
  if (scramble)
    basic::ScrambleBlockRing(table.data(), table.data(), count, 0, count);
  else
    basic::UnscrambleBlockRing(table.data(), count, 0, count);
  std::memcpy(&s[span.at], table.data(), span.size);
}

// Tables that overlap are turned back in the opposite order, so that the
// two directions stay inverse.
void Convert(FuzzFile& f, bool toStored) {
  if (IsTableFile(f) && SideTablesEnciphered(f.bytes)) {
    Span first = SideBlockTable(f.bytes), second = SideHashTable(f.bytes);
    if (toStored) std::swap(first, second);
    Cipher(f.bytes, first, toStored);
    Cipher(f.bytes, second, toStored);
  } else if (IsBasicArchive(f) && BasicBlocksScrambled(f.bytes)) {
    Scramble(f.bytes, BasicBlockTable(f.bytes), toStored);
  }
}

}  // namespace

void ToPlain(FuzzFile& f) { Convert(f, false); }

void ToStored(FuzzFile& f) { Convert(f, true); }

std::string PlainRange(const FuzzFile& f, Span table, size_t at, size_t n) {
  if (!table.valid || at < table.at || at + n > table.at + table.size) return {};
  if (!IsTableFile(f) || !SideTablesEnciphered(f.bytes)) return f.bytes.substr(at, n);
  // Whole 8-byte blocks from the table's start are enciphered, the rest not.
  const size_t from = table.at + (at - table.at) / 8 * 8;
  const size_t cipherEnd = table.at + table.size / 8 * 8;
  const size_t to = std::min(table.at + table.size, (at + n - table.at + 7) / 8 * 8 + table.at);
  std::string piece = f.bytes.substr(from, to - from);
  if (from < cipherEnd) {
    KeyCipherOnce();
    orvel::DecipherBuffer(&piece[0], static_cast<unsigned>(std::min(to, cipherEnd) - from));
  }
  return piece.substr(at - from, n);
}

}  // namespace orvel_fuzz
