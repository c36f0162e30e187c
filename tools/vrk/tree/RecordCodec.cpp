#include "tree/RecordCodec.h"

#include <lzo/lzoconf.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <unordered_set>
#include <vector>

namespace vrk {
namespace {

constexpr char kMagic[4] = {'V', 'R', 'K', 'A'};

// What an entry holds besides its texts: the entry itself with the room its
// vector takes while it grows, its index node and bucket, and its copy.
constexpr size_t kEntryCost = 512;
// An owner with its index and the record's lookup of owners.
constexpr size_t kOwnerCost = 256;

size_t EntryCost(size_t nameLength, size_t targetLength) {
  return kEntryCost + 4 * nameLength + 2 * targetLength;
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

bool IsEntryKind(unsigned char kind, unsigned char version) {
  if (kind == 'f' || kind == 'd' || kind == 'l') return true;
  return version >= 2 && (kind == 'h' || kind == 'p' || kind == 'c' || kind == 'b');
}

// A text of at most `most` bytes, charged `times` over to `budget` before it
// is held.
EntryRead ReadText(Reader& in, size_t most, size_t times, Budget& budget, std::string* out) {
  uint64_t length = 0;
  if (!in.Varint(&length) || length > most || length > in.Left()) return EntryRead::kDamaged;
  if (!budget.Take(times * static_cast<size_t>(length))) return EntryRead::kOverBudget;
  out->reserve(static_cast<size_t>(length));
  return in.Text(static_cast<size_t>(length), out) ? EntryRead::kRead : EntryRead::kDamaged;
}

// Reads the owners of a version 2 record into `record`; `remap` takes each
// stored index (from 1) to the record's.
EntryRead ReadOwners(Reader& in, Budget& budget, TreeRecord& record,
                     std::vector<uint32_t>* remap) {
  uint64_t count = 0;
  if (!in.Varint(&count) || count > in.Left() / 4) return EntryRead::kDamaged;
  remap->push_back(0);
  for (uint64_t i = 0; i < count; ++i) {
    if (!budget.Take(kOwnerCost)) return EntryRead::kOverBudget;
    Owner owner;
    uint64_t uid = 0, gid = 0;
    if (!in.Varint(&uid) || !in.Varint(&gid) || uid > UINT32_MAX || gid > UINT32_MAX)
      return EntryRead::kDamaged;
    owner.uid = static_cast<uint32_t>(uid);
    owner.gid = static_cast<uint32_t>(gid);
    for (std::string* name : {&owner.user, &owner.group}) {
      const EntryRead read = ReadText(in, kLongestOwnerName, 2, budget, name);
      if (read != EntryRead::kRead) return read;
      if (name->find('\0') != std::string::npos) return EntryRead::kDamaged;
    }
    remap->push_back(record.AddOwner(owner));
  }
  return EntryRead::kRead;
}

// Reads one entry; its texts are charged to `budget` before they are held.
// `owners` maps stored owner indexes to the record's; `aliases` holds the
// alias numbers read so far.
EntryRead ReadEntry(Reader& in, unsigned char version, const std::string& previous,
                    const std::vector<uint32_t>& owners, std::unordered_set<uint64_t>& aliases,
                    Budget& budget, TreeEntry* e) {
  unsigned char kind = 0;
  uint64_t shared = 0, rest = 0, mode = 0, seconds = 0, nanoseconds = 0;
  if (!in.Byte(&kind) || !in.Varint(&shared) || !in.Varint(&rest)) return EntryRead::kDamaged;
  if (!IsEntryKind(kind, version)) return EntryRead::kDamaged;
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
  if (version >= 2) {
    uint64_t owner = 0;
    if (!in.Varint(&owner) || owner >= owners.size()) return EntryRead::kDamaged;
    e->owner = owners[static_cast<size_t>(owner)];
  }
  switch (e->kind) {
    case EntryKind::kFile:
      if (version >= 2) {
        if (!in.Varint(&e->alias) || e->alias >= kMostAliases) return EntryRead::kDamaged;
        if (e->alias && !aliases.insert(e->alias).second) return EntryRead::kDamaged;
      }
      return EntryRead::kRead;
    case EntryKind::kLink:
    case EntryKind::kHardLink: {
      const EntryRead read = ReadText(in, kLongestRecordText, 2, budget, &e->target);
      return read != EntryRead::kRead || Plausible(e->target) ? read : EntryRead::kDamaged;
    }
    case EntryKind::kCharDevice:
    case EntryKind::kBlockDevice:
      return in.Varint(&e->device) ? EntryRead::kRead : EntryRead::kDamaged;
    default:
      return EntryRead::kRead;
  }
}

// The owners live entries refer to, in the order of their first use, and
// each entry's index among them.
std::vector<const Owner*> UsedOwners(const TreeRecord& record, std::vector<TreeEntry>& entries) {
  std::vector<const Owner*> used;
  std::vector<uint32_t> renumbered(record.Owners().size() + 1, 0);
  for (TreeEntry& e : entries) {
    const Owner* owner = record.OwnerOf(e);
    if (!owner) {
      e.owner = 0;
      continue;
    }
    uint32_t& k = renumbered[e.owner];
    if (k == 0) {
      used.push_back(owner);
      k = static_cast<uint32_t>(used.size());
    }
    e.owner = k;
  }
  return used;
}

// The entries as they are written: hard links after the rest, and only
// those whose file entry is there.
std::vector<TreeEntry> WrittenEntries(const TreeRecord& record) {
  std::vector<TreeEntry> all = record.Entries(), written;
  written.reserve(all.size());
  for (TreeEntry& e : all)
    if (e.kind != EntryKind::kHardLink) written.push_back(std::move(e));
  for (TreeEntry& e : all) {
    if (e.kind != EntryKind::kHardLink) continue;
    const TreeEntry* file = record.FindExact(e.target);
    if (file && file->kind == EntryKind::kFile) written.push_back(std::move(e));
  }
  return written;
}

}  // namespace

std::string EncodeTreeRecord(const TreeRecord& record) {
  std::vector<TreeEntry> entries = WrittenEntries(record);
  const std::vector<const Owner*> owners = UsedOwners(record, entries);
  std::string out(kMagic, sizeof kMagic);
  out += static_cast<char>(kRecordVersion);
  PutVarint(out, owners.size());
  for (const Owner* o : owners) {
    PutVarint(out, o->uid);
    PutVarint(out, o->gid);
    PutText(out, o->user);
    PutText(out, o->group);
  }
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
    PutVarint(out, e.owner);
    switch (e.kind) {
      case EntryKind::kFile:
        PutVarint(out, e.alias);
        break;
      case EntryKind::kLink:
      case EntryKind::kHardLink:
        PutText(out, e.target);
        break;
      case EntryKind::kCharDevice:
      case EntryKind::kBlockDevice:
        PutVarint(out, e.device);
        break;
      default:
        break;
    }
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
  const unsigned char version = bytes[4];
  if (version != kRecordVersion && version != kFirstRecordVersion) {
    *problem = "attribute record of version " + std::to_string(version) +
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
  Budget budget(RecordMemoryBound(size));
  TreeRecord decoded;
  std::vector<uint32_t> owners;  // stored owner index -> the record's
  EntryRead read = EntryRead::kRead;
  if (version >= 2)
    read = ReadOwners(in, budget, decoded, &owners);
  else
    owners.push_back(0);
  uint64_t count = 0;
  if (read == EntryRead::kRead && !(in.Varint(&count) && count <= in.Left()))
    read = EntryRead::kDamaged;
  std::unordered_set<uint64_t> aliases;
  std::string previous;
  for (uint64_t i = 0; read == EntryRead::kRead && i < count; ++i) {
    TreeEntry e;
    read = ReadEntry(in, version, previous, owners, aliases, budget, &e);
    previous = e.name;
    if (read != EntryRead::kRead) break;
    if (decoded.Holds(e)) {
      read = EntryRead::kDamaged;  // a name held twice
    } else if (e.kind == EntryKind::kHardLink) {
      const TreeEntry* file = decoded.FindExact(e.target);
      if (!file || file->kind != EntryKind::kFile) read = EntryRead::kDamaged;
    }
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
