// Tree records written field by field, as a hostile archive may hold them:
// each entry's sharing count is given, not worked out from the name before.
#ifndef VRK_TEST_RAW_RECORD_H
#define VRK_TEST_RAW_RECORD_H

#include <lzo/lzoconf.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vrktest {

struct RawEntry {
  char kind = 'f';
  size_t shared = 0;  // bytes taken from the name before
  std::string rest;
  std::string target;  // links and hard links
  // Version 2 only:
  uint64_t owner = 0;
  uint64_t alias = 0;   // files
  uint64_t device = 0;  // devices
};

struct RawOwner {
  uint64_t uid = 0;
  uint64_t gid = 0;
  std::string user;
  std::string group;
};

inline void PutVarint(std::string& out, uint64_t v) {
  for (; v >= 0x80; v >>= 7) out += static_cast<char>((v & 0x7F) | 0x80);
  out += static_cast<char>(v);
}

inline void PutText(std::string& out, const std::string& text) {
  PutVarint(out, text.size());
  out += text;
}

inline void PutChecksum(std::string& out) {
  const uint32_t crc = lzo_crc32(0, reinterpret_cast<const unsigned char*>(out.data()), out.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>((crc >> (8 * i)) & 0xFF);
}

// A record of version 1 holding `count` entries, entry i being entry(i),
// with a right checksum.
inline std::string RawRecord(size_t count, const std::function<RawEntry(size_t)>& entry) {
  std::string out = "VRKA";
  out += '\1';
  PutVarint(out, count);
  for (size_t i = 0; i < count; ++i) {
    const RawEntry e = entry(i);
    out += e.kind;
    PutVarint(out, e.shared);
    PutVarint(out, e.rest.size());
    out += e.rest;
    PutVarint(out, 0644);
    PutVarint(out, 0);  // modified in 1970
    PutVarint(out, 0);
    if (e.kind == 'l') {
      PutVarint(out, e.target.size());
      out += e.target;
    }
  }
  PutChecksum(out);
  return out;
}

// A record of version 2 holding `owners` and `entries`, in their order, with
// a right checksum.
inline std::string RawRecord2(const std::vector<RawOwner>& owners,
                              const std::vector<RawEntry>& entries) {
  std::string out = "VRKA";
  out += '\2';
  PutVarint(out, owners.size());
  for (const RawOwner& o : owners) {
    PutVarint(out, o.uid);
    PutVarint(out, o.gid);
    PutText(out, o.user);
    PutText(out, o.group);
  }
  PutVarint(out, entries.size());
  for (const RawEntry& e : entries) {
    out += e.kind;
    PutVarint(out, e.shared);
    PutText(out, e.rest);
    PutVarint(out, 0644);
    PutVarint(out, 0);
    PutVarint(out, 0);
    PutVarint(out, e.owner);
    if (e.kind == 'f') PutVarint(out, e.alias);
    if (e.kind == 'l' || e.kind == 'h') PutText(out, e.target);
    if (e.kind == 'c' || e.kind == 'b') PutVarint(out, e.device);
  }
  PutChecksum(out);
  return out;
}

// 4088 bytes in parts of at most 255, as a deep path spells them.
inline std::string DeepPrefix() {
  std::string prefix;
  while (prefix.size() + 251 <= 4088) prefix += std::string(250, 'd') + "/";
  return prefix + std::string(4088 - prefix.size(), 'e');
}

// `count` file names, each sharing 4088 bytes with the one before and
// adding six: 14 stored bytes for a name of 4 KB.
inline std::string SharedNamesRecord(size_t count) {
  const std::string prefix = DeepPrefix();
  return RawRecord(count, [&prefix](size_t i) {
    return RawEntry{'f', i ? prefix.size() : 0, (i ? "" : prefix) + std::to_string(100000 + i), ""};
  });
}

}  // namespace vrktest

#endif
