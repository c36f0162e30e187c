#include "tree/FileFacts.h"

#include <OrvelPacket.h>

#include <cstdio>

#include "archive/ArchiveNaming.h"
#include "archive/PacketHandle.h"

namespace vrk {

FileFacts GetFileFacts(const Packet& packet, const std::string& name) {
  FileFacts f;
  f.name = name;
  const char* n = name.c_str();
  f.present = packet.Contains(name);
  if (!f.present) return f;
  f.storedSize = packet->GetFileStoredSize(n);
  f.originalSize = packet->GetFileOriginalSize(n);
  f.flags = packet->GetFileFlags(n);
  packet->GetFileVersion(n, &f.versionHigh, &f.versionLow);
  return f;
}

std::vector<FileFacts> GetAllFileFacts(const Packet& packet) {
  std::vector<FileFacts> all;
  for (const std::string& name : packet.Names()) all.push_back(GetFileFacts(packet, name));
  if (packet.Contains(kRecordFileName)) all.push_back(GetFileFacts(packet, kRecordFileName));
  return all;
}

std::string FormatRatio(uint64_t stored, uint64_t original) {
  char buf[16];
  double r = original ? 100.0 * static_cast<double>(stored) / static_cast<double>(original) : 100.0;
  std::snprintf(buf, sizeof buf, "%.0f%%", r);
  return buf;
}

nlohmann::json ToJson(const FileFacts& f) {
  nlohmann::json j;
  j["name"] = f.name;
  if (!f.present) {
    j["missing"] = true;
    return j;
  }
  j["stored_size"] = f.storedSize;
  j["original_size"] = f.originalSize;
  j["compressed"] = f.Compressed();
  j["flags"] = f.flags;
  j["version_high"] = f.versionHigh;
  j["version_low"] = f.versionLow;
  return j;
}

}  // namespace vrk
