#include "FuzzRecord.h"

#include <lzo/lzoconf.h>

namespace orvel_fuzz {
namespace {

constexpr char kMagic[] = "VRKA";
constexpr size_t kHeader = 5;  // magic and version
constexpr size_t kChecksum = 4;

void PutVarint(std::string& out, uint64_t v) {
  while (v >= 0x80) {
    out += static_cast<char>((v & 0x7F) | 0x80);
    v >>= 7;
  }
  out += static_cast<char>(v);
}

class Fields {
 public:
  Fields(const std::string& s, size_t at, size_t end) : s_(s), at_(at), end_(end) {}
  bool Varint(uint64_t* v) {
    *v = 0;
    for (int shift = 0; shift < 64 && at_ < end_; shift += 7) {
      const unsigned char b = static_cast<unsigned char>(s_[at_++]);
      *v |= static_cast<uint64_t>(b & 0x7F) << shift;
      if (!(b & 0x80)) return true;
    }
    return false;
  }
  bool Text(std::string* out) {
    uint64_t n = 0;
    if (!Varint(&n) || n > end_ - at_) return false;
    *out = s_.substr(at_, static_cast<size_t>(n));
    at_ += static_cast<size_t>(n);
    return true;
  }
  bool Byte(unsigned char* b) {
    if (at_ == end_) return false;
    *b = static_cast<unsigned char>(s_[at_++]);
    return true;
  }
  size_t At() const { return at_; }

 private:
  const std::string& s_;
  size_t at_;
  size_t end_;
};

bool ParseEntry(Fields& in, unsigned char version, RawRecordEntry* e) {
  if (!in.Byte(&e->kind) || !in.Varint(&e->shared) || !in.Text(&e->rest) ||
      !in.Varint(&e->mode) || !in.Varint(&e->seconds) || !in.Varint(&e->nanoseconds))
    return false;
  if (version < 2) return e->kind != 'l' || in.Text(&e->target);
  if (!in.Varint(&e->owner)) return false;
  switch (e->kind) {
    case 'f':
      return in.Varint(&e->alias);
    case 'l':
    case 'h':
      return in.Text(&e->target);
    case 'c':
    case 'b':
      return in.Varint(&e->device);
    default:
      return true;
  }
}

bool ParseOwner(Fields& in, RawRecordOwner* o) {
  return in.Varint(&o->uid) && in.Varint(&o->gid) && in.Text(&o->user) && in.Text(&o->group);
}

void PutText(std::string& out, const std::string& text) {
  PutVarint(out, text.size());
  out += text;
}

}  // namespace

bool ParseRawRecord(const std::string& bytes, RawRecord* record) {
  if (bytes.size() < kHeader + kChecksum || bytes.compare(0, 4, kMagic) != 0) return false;
  *record = RawRecord();
  record->version = static_cast<unsigned char>(bytes[4]);
  const size_t end = bytes.size() - kChecksum;
  Fields in(bytes, kHeader, end);
  uint64_t count = 0;
  size_t good = kHeader;
  bool owners = true;
  if (record->version >= 2 && in.Varint(&count)) {
    for (uint64_t i = 0; owners && i < count; ++i) {
      RawRecordOwner o;
      owners = ParseOwner(in, &o);
      if (owners) record->owners.push_back(std::move(o));
    }
  }
  if (owners && in.Varint(&count)) {
    good = in.At();
    for (uint64_t i = 0; i < count; ++i) {
      RawRecordEntry e;
      if (!ParseEntry(in, record->version, &e)) break;
      record->entries.push_back(std::move(e));
      good = in.At();
    }
  }
  record->countCorrect = count == record->entries.size();
  record->count = count;
  record->tail = bytes.substr(good, end - good);
  uint32_t stored = 0;
  for (size_t i = 0; i < kChecksum; ++i)
    stored |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[end + i])) << (8 * i);
  record->checksum = stored;
  record->checksumCorrect =
      lzo_crc32(0, reinterpret_cast<const unsigned char*>(bytes.data()), end) == stored;
  return true;
}

std::string WriteRawRecord(const RawRecord& record) {
  std::string out(kMagic, 4);
  out += static_cast<char>(record.version);
  if (record.version >= 2) {
    PutVarint(out, record.owners.size());
    for (const RawRecordOwner& o : record.owners) {
      PutVarint(out, o.uid);
      PutVarint(out, o.gid);
      PutText(out, o.user);
      PutText(out, o.group);
    }
  }
  PutVarint(out, record.countCorrect ? record.entries.size() : record.count);
  for (const RawRecordEntry& e : record.entries) {
    out += static_cast<char>(e.kind);
    PutVarint(out, e.shared);
    PutVarint(out, e.rest.size());
    out += e.rest;
    PutVarint(out, e.mode);
    PutVarint(out, e.seconds);
    PutVarint(out, e.nanoseconds);
    if (record.version < 2) {
      if (e.kind == 'l') PutText(out, e.target);
      continue;
    }
    PutVarint(out, e.owner);
    if (e.kind == 'f') PutVarint(out, e.alias);
    if (e.kind == 'l' || e.kind == 'h') PutText(out, e.target);
    if (e.kind == 'c' || e.kind == 'b') PutVarint(out, e.device);
  }
  out += record.tail;
  const uint32_t crc =
      record.checksumCorrect
          ? lzo_crc32(0, reinterpret_cast<const unsigned char*>(out.data()), out.size())
          : record.checksum;
  for (size_t i = 0; i < kChecksum; ++i) out += static_cast<char>((crc >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace orvel_fuzz
