#include "archive/HeaderFields.h"

#include <cstdio>

#include "archive/ArchiveNaming.h"

namespace vrk {
namespace {

bool ReadWords(const std::string& path, long offset, uint32_t* words, size_t count) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  unsigned char raw[64];
  bool ok = count * 4 <= sizeof raw && std::fseek(f, offset, SEEK_SET) == 0 &&
            std::fread(raw, 4, count, f) == count;
  std::fclose(f);
  for (size_t i = 0; ok && i < count; ++i)
    words[i] = raw[4 * i] | raw[4 * i + 1] << 8 | raw[4 * i + 2] << 16 |
               static_cast<uint32_t>(raw[4 * i + 3]) << 24;
  return ok;
}

}  // namespace

HeaderFields ReadHeaderFields(const std::string& archivePath, bool advanced) {
  HeaderFields h;
  uint32_t w[13];
  // An archive at a URL has no side file on this disk to read.
  if (IsUrl(archivePath)) return h;
  if (advanced) {
    // fileSize, versionHigh, versionLow, flags, blockTableOffset, fileCount,
    // firstBlock, blockCount, hashTableOffset, tableSize, wastedBytes, ...
    if (!ReadWords(ArchiveDiskFiles(archivePath, true).at(1), 0, w, 13)) return h;
    h.tableSize = w[9];
    h.hasWastedBytes = true;
    h.wastedBytes = w[10];
  } else {
    // fileSize, versionHigh, versionLow, flags, blockTableOffset, fileCount,
    // ringFirst, ringNext, hashTableOffset, tableSize.
    if (!ReadWords(archivePath, 8, w, 10)) return h;
    h.tableSize = w[9];
    h.dataEnd = w[4];
  }
  h.read = true;
  return h;
}

}  // namespace vrk
