#include "tree/RecordCodec.h"

#include <lzo/lzoconf.h>

#include <cstdint>
#include <cstring>

namespace vrk {
namespace {

constexpr char kMagic[4] = {'V', 'R', 'K', 'A'};
constexpr size_t kLongestText = 4096;  // names and link targets

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
  return !text.empty() && text.size() <= kLongestText && text.find('\0') == std::string::npos;
}

bool ReadEntry(Reader& in, const std::string& previous, TreeEntry* e) {
  unsigned char kind = 0;
  uint64_t shared = 0, rest = 0, mode = 0, seconds = 0, nanoseconds = 0;
  if (!in.Byte(&kind) || !in.Varint(&shared) || !in.Varint(&rest)) return false;
  if (kind != 'f' && kind != 'd' && kind != 'l') return false;
  if (shared > previous.size() || rest > kLongestText) return false;
  e->kind = static_cast<EntryKind>(kind);
  e->name.assign(previous, 0, static_cast<size_t>(shared));
  if (!in.Text(static_cast<size_t>(rest), &e->name) || !Plausible(e->name)) return false;
  if (!in.Varint(&mode) || !in.Varint(&seconds) || !in.Varint(&nanoseconds)) return false;
  if (mode > 07777 || nanoseconds >= 1000000000u) return false;
  e->mode = static_cast<uint32_t>(mode);
  e->seconds = UnZigZag(seconds);
  e->nanoseconds = static_cast<uint32_t>(nanoseconds);
  if (e->kind != EntryKind::kLink) return true;
  uint64_t length = 0;
  return in.Varint(&length) && length <= kLongestText &&
         in.Text(static_cast<size_t>(length), &e->target) && Plausible(e->target);
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

bool DecodeTreeRecord(const unsigned char* bytes, size_t size, TreeRecord* record,
                      std::string* problem) {
  if (size < sizeof kMagic + 1 + 1 + 4 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0) {
    *problem = "not an attribute record";
    return false;
  }
  if (bytes[4] != kRecordVersion) {
    *problem = "attribute record of version " + std::to_string(bytes[4]) +
               ", which this vrk does not read";
    return false;
  }
  const size_t body = size - 4;
  const uint32_t stored = bytes[body] | bytes[body + 1] << 8 | bytes[body + 2] << 16 |
                          static_cast<uint32_t>(bytes[body + 3]) << 24;
  if (Checksum(bytes, body) != stored) {
    *problem = "attribute record damaged (checksum mismatch)";
    return false;
  }
  Reader in(bytes + 5, body - 5);
  uint64_t count = 0;
  bool ok = in.Varint(&count) && count <= in.Left();
  TreeRecord decoded;
  std::string previous;
  for (uint64_t i = 0; ok && i < count; ++i) {
    TreeEntry e;
    ok = ReadEntry(in, previous, &e);
    previous = e.name;
    if (ok) decoded.Put(std::move(e));
  }
  if (!ok || in.Left() != 0) {
    *problem = "attribute record damaged (malformed entries)";
    return false;
  }
  *record = std::move(decoded);
  return true;
}

}  // namespace vrk
