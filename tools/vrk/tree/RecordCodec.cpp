#include "tree/RecordCodec.h"

#include <lzo/lzoconf.h>

#include <cstdint>
#include <cstring>
#include <limits>

namespace vrk {
namespace {

constexpr char kMagic[4] = {'V', 'R', 'K', 'A'};

// What an entry holds besides its texts: the entry itself with the room its
// vector takes while it grows, its index node and bucket, and its copy.
constexpr size_t kEntryCost = 512;

size_t EntryCost(size_t nameLength, size_t targetLength) {
  return kEntryCost + 3 * nameLength + 2 * targetLength;
}

uint32_t Checksum(const unsigned char* bytes, size_t size) {
  return lzo_crc32(0, bytes, static_cast<lzo_uint>(size));
}

void PutVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

void PutText(std::string& out, const std::string& text) {
  PutVarint(out, text.size());
  out += text;
}

uint64_t ZigZag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
int64_t UnZigZag(uint64_t v) { return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1); }

// Reads the record's fields; every read checks what is left first.
class Reader {
 public:
  Reader(const unsigned char* p, size_t n) : p_(p), end_(p + n) {}
  bool Varint(uint64_t* v) {
    *v = 0;
    for (int shift = 0; shift < 64 && p_ < end_; shift += 7) {
      const unsigned char b = *p_++;
      *v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  bool Text(size_t length, std::string* out) {
    if (length > static_cast<size_t>(end_ - p_)) return false;
    out->append(reinterpret_cast<const char*>(p_), length);
    p_ += length;
    return true;
  }
  bool Byte(unsigned char* b) {
    if (p_ == end_) return false;
    *b = *p_++;
    return true;
  }
  size_t Left() const { return static_cast<size_t>(end_ - p_); }

 private:
  const unsigned char* p_;
  const unsigned char* end_;
};

bool Plausible(const std::string& text) {
  return !text.empty() && text.size() <= kLongestRecordText &&
         text.find('\0') == std::string::npos;
}

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// No NUL and no part between separators longer than a system's name allows.
// The first `shared` bytes come from the name before, which passed: only the
// part they end with and the bytes after are looked at, so that a long name
// shared by many entries is not read again for each.
bool PlausibleName(const std::string& name, size_t shared) {
  if (name.empty() || name.size() > kLongestRecordText) return false;
  size_t part = 0;
  while (part < shared && !IsSeparator(name[shared - 1 - part])) ++part;
  for (size_t at = shared; at < name.size(); ++at) {
    if (name[at] == '\0') return false;
    part = IsSeparator(name[at]) ? 0 : part + 1;
    if (part > kLongestRecordComponent) return false;
  }
  return true;
}

// Counts the memory the entries read so far will hold.
class Budget {
 public:
  explicit Budget(size_t limit) : left_(limit) {}
  // False, taking nothing, when `cost` is more than is left.
  bool Take(size_t cost) {
    if (cost > left_) return false;
    left_ -= cost;
    return true;
  }

 private:
  size_t left_;
};

enum class EntryRead { kRead, kDamaged, kOverBudget };

// Reads one entry; its texts are charged to `budget` before they are held.
EntryRead ReadEntry(Reader& in, const std::string& previous, Budget& budget, TreeEntry* e) {
  unsigned char kind = 0;
  uint64_t shared = 0, rest = 0, mode = 0, seconds = 0, nanoseconds = 0;
  if (!in.Byte(&kind) || !in.Varint(&shared) || !in.Varint(&rest)) return EntryRead::kDamaged;
  if (kind != 'f' && kind != 'd' && kind != 'l') return EntryRead::kDamaged;
  if (shared > previous.size() || rest > kLongestRecordText ||
      shared + rest > kLongestRecordText || rest > in.Left())
    return EntryRead::kDamaged;
  if (!budget.Take(EntryCost(static_cast<size_t>(shared + rest), 0)))
    return EntryRead::kOverBudget;
  e->kind = static_cast<EntryKind>(kind);
  e->name.reserve(static_cast<size_t>(shared + rest));  // held as long as it is, not twice
  e->name.assign(previous, 0, static_cast<size_t>(shared));
  if (!in.Text(static_cast<size_t>(rest), &e->name) ||
      !PlausibleName(e->name, static_cast<size_t>(shared)))
    return EntryRead::kDamaged;
  if (!in.Varint(&mode) || !in.Varint(&seconds) || !in.Varint(&nanoseconds))
    return EntryRead::kDamaged;
  if (mode > 07777 || nanoseconds >= 1000000000u) return EntryRead::kDamaged;
  e->mode = static_cast<uint32_t>(mode);
  e->seconds = UnZigZag(seconds);
  e->nanoseconds = static_cast<uint32_t>(nanoseconds);
  if (e->kind != EntryKind::kLink) return EntryRead::kRead;
  uint64_t length = 0;
  if (!in.Varint(&length) || length > kLongestRecordText || length > in.Left())
    return EntryRead::kDamaged;
  if (!budget.Take(EntryCost(0, static_cast<size_t>(length)) - kEntryCost))
    return EntryRead::kOverBudget;
  e->target.reserve(static_cast<size_t>(length));
  return in.Text(static_cast<size_t>(length), &e->target) && Plausible(e->target)
             ? EntryRead::kRead
             : EntryRead::kDamaged;
}

}  // namespace

std::string EncodeTreeRecord(const TreeRecord& record) {
  const std::vector<TreeEntry> entries = record.Entries();
  std::string out(kMagic, sizeof kMagic);
  out += static_cast<char>(kRecordVersion);
  PutVarint(out, entries.size());
  const std::string* previous = nullptr;
  for (const TreeEntry& e : entries) {
    size_t shared = 0;
    if (previous)
      while (shared < previous->size() && shared < e.name.size() &&
             (*previous)[shared] == e.name[shared])
        ++shared;
    out += static_cast<char>(e.kind);
    PutVarint(out, shared);
    PutText(out, e.name.substr(shared));
    PutVarint(out, e.mode);
    PutVarint(out, ZigZag(e.seconds));
    PutVarint(out, e.nanoseconds);
    if (e.kind == EntryKind::kLink) PutText(out, e.target);
    previous = &e.name;
  }
  const uint32_t crc = Checksum(reinterpret_cast<const unsigned char*>(out.data()), out.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>((crc >> (8 * i)) & 0xFF);
  return out;
}

size_t RecordMemoryBound(size_t size) {
  constexpr size_t most = std::numeric_limits<size_t>::max();
  if (size > (most - kRecordMemoryBase) / kRecordMemoryPerByte) return most;
  return kRecordMemoryPerByte * size + kRecordMemoryBase;
}

RecordDecode DecodeTreeRecord(const unsigned char* bytes, size_t size, TreeRecord* record,
                              std::string* problem) {
  if (size < sizeof kMagic + 1 + 1 + 4 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
    *problem = "not an attribute record";
    return RecordDecode::kDamaged;
  }
  if (bytes[4] != kRecordVersion) {
    *problem = "attribute record of version " + std::to_string(bytes[4]) +
               ", which this vrk does not read";
    return RecordDecode::kDamaged;
  }
  const size_t body = size - 4;
  const uint32_t stored = bytes[body] | bytes[body + 1] << 8 | bytes[body + 2] << 16 |
                          static_cast<uint32_t>(bytes[body + 3]) << 24;
  if (Checksum(bytes, body) != stored) {
    *problem = "attribute record damaged (checksum mismatch)";
    return RecordDecode::kDamaged;
  }
  Reader in(bytes + 5, body - 5);
  uint64_t count = 0;
  EntryRead read = in.Varint(&count) && count <= in.Left() ? EntryRead::kRead : EntryRead::kDamaged;
  Budget budget(RecordMemoryBound(size));
  TreeRecord decoded;
  std::string previous;
  for (uint64_t i = 0; read == EntryRead::kRead && i < count; ++i) {
    TreeEntry e;
    read = ReadEntry(in, previous, budget, &e);
    previous = e.name;
    if (read == EntryRead::kRead) decoded.Put(std::move(e));
  }
  if (read == EntryRead::kOverBudget) {
    *problem = "the tree record is refused: it would take more than " +
               std::to_string(RecordMemoryBound(size)) + " bytes of memory (it is " +
               std::to_string(size) + " bytes stored)";
    return RecordDecode::kRefused;
  }
  if (read != EntryRead::kRead || in.Left() != 0) {
    *problem = "attribute record damaged (malformed entries)";
    return RecordDecode::kDamaged;
  }
  *record = std::move(decoded);
  return RecordDecode::kRead;
}

}  // namespace vrk
