// Fuzzes vrk's tree record decoder (tools/vrk/tree/RecordCodec.h): the input
// is a stored record. The mutator works on the record's fields (FuzzRecord.h)
// and mostly keeps the count and checksum right, so that hostile names,
// sharing counts, kinds, targets, owners, aliases and hard links reach the
// decoder's deep paths instead of failing the checksum. A record that decodes must hold no more than its
// memory bound allows, and must survive being written and read again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "FuzzRecord.h"
#include "tree/RecordCodec.h"
#include "tree/TreeRecord.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

using orvel_fuzz::RawRecord;
using orvel_fuzz::RawRecordEntry;
using Rng = std::minstd_rand;

size_t Pick(Rng& rng, size_t n) { return n ? rng() % n : 0; }

void MutateText(std::string& s, size_t cap) {
  const size_t size = std::min(s.size(), cap);
  s.resize(std::max<size_t>(std::min(cap, size + 64), 1));
  s.resize(LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(&s[0]), size, s.size()));
}

// Each entry's whole name, as the decoder spells it (shares past the end of
// the name before are cut short there).
std::vector<size_t> NameLengths(const RawRecord& r) {
  std::vector<size_t> lengths;
  size_t previous = 0;
  for (const RawRecordEntry& e : r.entries) {
    previous = static_cast<size_t>(std::min<uint64_t>(e.shared, previous)) + e.rest.size();
    lengths.push_back(previous);
  }
  return lengths;
}

// `length` bytes of parts of 1 to 255 bytes between slashes.
std::string DeepName(Rng& rng, size_t length) {
  std::string name(length, static_cast<char>('a' + Pick(rng, 26)));
  for (size_t at = 1 + Pick(rng, 255); at < length; at += 1 + Pick(rng, 256)) name[at] = '/';
  return name;
}

RawRecordEntry FreshEntry(Rng& rng) {
  RawRecordEntry e;
  e.kind = "fdlhpcb"[Pick(rng, 7)];
  e.rest = std::string(1 + Pick(rng, 8), static_cast<char>('a' + Pick(rng, 26)));
  e.mode = Pick(rng, 2) ? 0644 : 0755;
  e.seconds = 2 * (1700000000u + Pick(rng, 1000));
  e.nanoseconds = Pick(rng, 1000000000u);
  if (e.kind == 'l') e.target = "../x";
  if (e.kind == 'h') e.target = "a";
  return e;
}

uint64_t InterestingNumber(Rng& rng, uint64_t old) {
  const uint64_t values[] = {0,     1,          old + 1,     old - 1,          07777,
                             010000, 999999999, 1000000000u, UINT64_MAX,        UINT64_MAX / 2,
                             255,   256,        4095,        4096,             4097,
                             1u << Pick(rng, 32), static_cast<uint64_t>(rng()) << 32 | rng()};
  return values[Pick(rng, sizeof values / sizeof values[0])];
}

// One change to the fields of `r`; entries stay parseable.
void MutateRecord(RawRecord& r, Rng& rng, size_t maxSize) {
  if (r.entries.empty() || Pick(rng, 8) == 0) {
    r.entries.insert(r.entries.begin() + static_cast<long>(Pick(rng, r.entries.size() + 1)),
                     FreshEntry(rng));
    return;
  }
  const size_t i = Pick(rng, r.entries.size());
  RawRecordEntry& e = r.entries[i];
  const std::vector<size_t> lengths = NameLengths(r);
  const size_t before = i ? lengths[i - 1] : 0;
  switch (Pick(rng, 18)) {
    case 0:
      MutateText(e.rest, 300);
      break;
    case 1: {  // a separator or a NUL somewhere in the name
      const char marks[] = {'/', '\\', '\0', '.', 'A'};
      e.rest.insert(Pick(rng, e.rest.size() + 1), 1, marks[Pick(rng, sizeof marks)]);
      break;
    }
    case 2: {  // share all, most, none, or more than there is
      const uint64_t shares[] = {before, before ? before - 1 : 0, 0, before + 1,
                                 Pick(rng, before + 1), UINT64_MAX};
      e.shared = shares[Pick(rng, sizeof shares / sizeof shares[0])];
      break;
    }
    case 3:
      e.kind = Pick(rng, 8) ? "fdlhpcb"[Pick(rng, 7)] : static_cast<unsigned char>(rng());
      if ((e.kind == 'l' || e.kind == 'h') && e.target.empty()) e.target = "t";
      break;
    case 4:
      e.mode = Pick(rng, 2) ? InterestingNumber(rng, e.mode) : Pick(rng, 010000);
      break;
    case 5:
      e.seconds = InterestingNumber(rng, e.seconds);
      break;
    case 6:
      e.nanoseconds = InterestingNumber(rng, e.nanoseconds);
      break;
    case 7:
      MutateText(e.target, 5000);
      break;
    case 8: {  // a long name: one part, or a deep path of parts up to 255
      const size_t sizes[] = {255, 256, 4095, 4096, 4097, Pick(rng, 600)};
      const size_t length = sizes[Pick(rng, sizeof sizes / sizeof sizes[0])];
      e.shared = 0;
      e.rest = Pick(rng, 2) ? DeepName(rng, length) : std::string(length, 'p');
      if (Pick(rng, 2)) e.rest[Pick(rng, length)] = '/';
      break;
    }
    case 9: {  // many siblings, each sharing all but its last few bytes with
               // the name before: small entries standing for long names
      if (Pick(rng, 2)) e.shared = 0, e.rest = DeepName(rng, 3000 + Pick(rng, 1097));
      const size_t length = e.shared ? lengths[i] : e.rest.size();
      const size_t own = std::min<size_t>(1 + Pick(rng, 3), std::max<size_t>(length, 1));
      const size_t room = maxSize / 8 > r.entries.size() ? maxSize / 8 - r.entries.size() : 0;
      // Zero mode and times keep a sibling at nine bytes, so that enough of
      // them to pass the memory bound fit in an input of 64 KiB.
      RawRecordEntry sibling = e;
      sibling.mode = sibling.seconds = sibling.nanoseconds = 0;
      std::vector<RawRecordEntry> siblings(std::min(room, 1 + Pick(rng, 8000)), sibling);
      for (size_t k = 0; k < siblings.size(); ++k) {
        siblings[k].shared = length - own;
        siblings[k].rest.clear();
        for (size_t n = k + 1, d = 0; d < own; ++d, n /= 62)
          siblings[k].rest += "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"[n % 62];
      }
      r.entries.insert(r.entries.begin() + static_cast<long>(i + 1), siblings.begin(),
                       siblings.end());
      break;
    }
    case 10:
      r.entries.erase(r.entries.begin() + static_cast<long>(i));
      break;
    case 11:
      std::swap(e, r.entries[Pick(rng, r.entries.size())]);
      break;
    case 12:
      r.entries.insert(r.entries.begin() + static_cast<long>(Pick(rng, r.entries.size())), e);
      break;
    case 14:  // an owner index: one there is, the next, or far past
      e.owner = Pick(rng, 2) ? Pick(rng, r.owners.size() + 2) : InterestingNumber(rng, e.owner);
      break;
    case 15:  // an alias: a fresh one, one another file has, or an edge value
      if (Pick(rng, 2)) {
        e.alias = InterestingNumber(rng, e.alias);
      } else {
        const RawRecordEntry& other = r.entries[Pick(rng, r.entries.size())];
        e.alias = other.alias ? other.alias : 1 + Pick(rng, 4);
      }
      break;
    case 16: {  // a hard link to another entry's name, as it is or in other case
      const size_t k = Pick(rng, r.entries.size());
      std::string name;
      for (size_t j = 0; j <= k; ++j)
        name = name.substr(0, static_cast<size_t>(std::min<uint64_t>(r.entries[j].shared, name.size()))) +
               r.entries[j].rest;
      e.kind = 'h';
      e.target = name;
      if (Pick(rng, 4) == 0 && !e.target.empty()) e.target[0] ^= 0x20;
      if (Pick(rng, 2)) e.device = InterestingNumber(rng, e.device);
      break;
    }
    case 17: {  // the owners: add, drop or change one
      if (r.owners.empty() || Pick(rng, 2)) {
        orvel_fuzz::RawRecordOwner o;
        o.uid = Pick(rng, 2) ? Pick(rng, 65536) : InterestingNumber(rng, 0);
        o.gid = Pick(rng, 2) ? Pick(rng, 65536) : InterestingNumber(rng, 0);
        o.user = Pick(rng, 4) ? "user" : std::string(Pick(rng, 300), 'u');
        o.group = Pick(rng, 4) ? "" : std::string("g\0g", 3);
        r.owners.push_back(o);
      } else if (Pick(rng, 2)) {
        r.owners.erase(r.owners.begin() + static_cast<long>(Pick(rng, r.owners.size())));
      } else {
        MutateText(r.owners[Pick(rng, r.owners.size())].user, 300);
      }
      break;
    }
    default:  // the frame: rarely, so the checks stay covered
      switch (Pick(rng, 4)) {
        case 0:
          r.countCorrect = false;
          r.count = InterestingNumber(rng, r.entries.size());
          break;
        case 1:
          r.checksumCorrect = false;
          r.checksum = static_cast<uint32_t>(rng());
          break;
        case 2:
          r.version = static_cast<unsigned char>(Pick(rng, 4));
          break;
        default:
          MutateText(r.tail, 64);
      }
  }
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize,
                                          unsigned seed) {
  Rng rng(seed);
  const std::string input(reinterpret_cast<const char*>(data), size);
  RawRecord r;
  if (Pick(rng, 20) == 0) return LLVMFuzzerMutate(data, size, maxSize);
  if (!orvel_fuzz::ParseRawRecord(input, &r)) r = RawRecord();
  // A parsed record is made whole again more often than not.
  if (Pick(rng, 4)) r.countCorrect = r.checksumCorrect = true, r.tail.clear();
  if (Pick(rng, 8)) r.version = vrk::kRecordVersion;
  for (size_t steps = 1 + Pick(rng, 3); steps > 0; --steps) MutateRecord(r, rng, maxSize);
  const std::string out = orvel_fuzz::WriteRawRecord(r);
  if (out.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

// The entries of one record followed by those of another, from a point in each.
extern "C" size_t LLVMFuzzerCustomCrossOver(const uint8_t* data1, size_t size1,
                                            const uint8_t* data2, size_t size2, uint8_t* out,
                                            size_t maxOut, unsigned seed) {
  Rng rng(seed);
  RawRecord a, b;
  if (!orvel_fuzz::ParseRawRecord(std::string(reinterpret_cast<const char*>(data1), size1), &a) ||
      !orvel_fuzz::ParseRawRecord(std::string(reinterpret_cast<const char*>(data2), size2), &b))
    return 0;
  a.entries.resize(Pick(rng, a.entries.size() + 1));
  a.entries.insert(a.entries.end(),
                   b.entries.begin() + static_cast<long>(Pick(rng, b.entries.size() + 1)),
                   b.entries.end());
  a.countCorrect = a.checksumCorrect = true;
  const std::string joined = orvel_fuzz::WriteRawRecord(a);
  if (joined.size() > maxOut) return 0;
  std::memcpy(out, joined.data(), joined.size());
  return joined.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vrk::TreeRecord record;
  std::string problem;
  if (vrk::DecodeTreeRecord(data, size, &record, &problem) != vrk::RecordDecode::kRead) {
    if (problem.empty()) std::abort();
    return 0;
  }
  const std::vector<vrk::TreeEntry> entries = record.Entries();
  size_t held = 0;
  for (const vrk::TreeEntry& e : entries) {
    if (e.name.empty() || e.name.size() > vrk::kLongestRecordText) std::abort();
    held += 3 * e.name.size() + 2 * e.target.size();
  }
  if (held > vrk::RecordMemoryBound(size)) std::abort();

  // What vrk writes back it reads again, entry for entry.
  const std::string again = vrk::EncodeTreeRecord(record);
  vrk::TreeRecord reread;
  const vrk::RecordDecode outcome = vrk::DecodeTreeRecord(
      reinterpret_cast<const unsigned char*>(again.data()), again.size(), &reread, &problem);
  if (outcome == vrk::RecordDecode::kDamaged) std::abort();
  if (outcome == vrk::RecordDecode::kRefused) return 0;
  // Hard links are written after the rest: entries compare in name order
  // (a directory and another entry may share a name).
  const auto byName = [](const vrk::TreeEntry& l, const vrk::TreeEntry& r) {
    return l.name != r.name ? l.name < r.name : l.kind < r.kind;
  };
  std::vector<vrk::TreeEntry> sorted = entries, back = reread.Entries();
  std::sort(sorted.begin(), sorted.end(), byName);
  std::sort(back.begin(), back.end(), byName);
  if (back.size() != sorted.size()) std::abort();
  for (size_t i = 0; i < back.size(); ++i) {
    const vrk::TreeEntry& x = sorted[i];
    const vrk::TreeEntry* y = &back[i];
    if (x.kind != y->kind || x.name != y->name || x.mode != y->mode ||
        x.seconds != y->seconds || x.nanoseconds != y->nanoseconds || x.target != y->target ||
        x.alias != y->alias || x.device != y->device)
      std::abort();
    const vrk::Owner* a = record.OwnerOf(x);
    const vrk::Owner* b = reread.OwnerOf(*y);
    if ((a == nullptr) != (b == nullptr) ||
        (a && (a->uid != b->uid || a->gid != b->gid || a->user != b->user || a->group != b->group)))
      std::abort();
  }
  return 0;
}
