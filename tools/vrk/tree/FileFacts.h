// What the archive tells about one stored file, for list, info and verify.
#ifndef VRK_FILE_FACTS_H
#define VRK_FILE_FACTS_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vrk {

class Packet;

struct FileFacts {
  std::string name;
  bool present = false;  // named in the list but missing from the tables when false
  uint32_t storedSize = 0;
  uint32_t originalSize = 0;
  uint32_t flags = 0;
  uint32_t versionHigh = 0;
  uint32_t versionLow = 0;
  bool Compressed() const { return (flags & 1u) != 0; }
};

FileFacts GetFileFacts(const Packet& packet, const std::string& name);
// Every listed file's facts, and the tree record's when there is one.
std::vector<FileFacts> GetAllFileFacts(const Packet& packet);

// Stored size as a percentage of the original size ("100%" for empty files).
std::string FormatRatio(uint64_t stored, uint64_t original);

nlohmann::json ToJson(const FileFacts& facts);

}  // namespace vrk

#endif
