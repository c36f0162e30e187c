#include "patch/PatchBlocks.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <numeric>

#include "archive/ArchiveNaming.h"
#include "patch/PatchFile.h"

namespace vrk {
namespace {

EntryState CheckEntry(std::FILE* file, uint64_t fileSize, const PatchData& r) {
  // The stored bytes and the checksum word after them.
  const uint64_t end = uint64_t{r.offset} + r.storedSize + 4;
  if (end > fileSize) return EntryState::kOutOfBounds;
  std::vector<unsigned char> bytes(size_t{r.storedSize} + 4);
  if (std::fseek(file, static_cast<long>(r.offset), SEEK_SET) != 0 ||
      std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
    return EntryState::kOutOfBounds;
  const uint32_t stored = LittleEndianWord(bytes.data() + r.storedSize);
  return PatchChecksum(bytes.data(), r.storedSize) == stored ? EntryState::kIntact
                                                             : EntryState::kChecksum;
}

std::string EntryProblem(const std::string& blockPath, const BlockEntry& e) {
  std::string where = blockPath + ": entry at offset " + std::to_string(e.record.offset) + " (" +
                      std::to_string(e.record.storedSize) + " bytes) ";
  return where + (e.state == EntryState::kOutOfBounds ? "runs past the end of the file"
                                                      : "is damaged (checksum mismatch)");
}

}  // namespace

bool BlockCheck::Intact() const {
  return std::all_of(entries.begin(), entries.end(),
                     [](const BlockEntry& e) { return e.state == EntryState::kIntact; });
}

std::vector<std::string> BlockCheck::Problems() const {
  std::vector<std::string> problems;
  for (const BlockLevel& level : levels) {
    if (!level.present) {
      problems.push_back(level.path + ": block file is missing");
      continue;
    }
    for (const BlockEntry& e : entries)
      if (e.record.versionLow == level.level && e.state != EntryState::kIntact)
        problems.push_back(EntryProblem(level.path, e));
  }
  return problems;
}

BlockCheck CheckBlockFiles(const std::string& patchPath, const std::vector<PatchData>& records) {
  // Level by level, so that one block file is open at a time however many
  // levels a patch names.
  std::vector<size_t> order(records.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&records](size_t a, size_t b) {
    return records[a].versionLow < records[b].versionLow;
  });

  BlockCheck check;
  check.entries.resize(records.size());
  for (size_t i = 0; i < order.size();) {
    BlockLevel level;
    level.level = records[order[i]].versionLow;
    level.path = BlockFilePath(patchPath, level.level);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(level.path.c_str(), "rb"),
                                                         &std::fclose);
    struct stat st;
    level.present = file && fstat(fileno(file.get()), &st) == 0 && S_ISREG(st.st_mode);
    level.size = level.present ? static_cast<uint64_t>(st.st_size) : 0;
    for (; i < order.size() && records[order[i]].versionLow == level.level; ++i) {
      const PatchData& r = records[order[i]];
      EntryState state =
          level.present ? CheckEntry(file.get(), level.size, r) : EntryState::kNoBlockFile;
      ++level.records;
      if (level.present && state != EntryState::kIntact) ++level.damaged;
      check.entries[order[i]] = BlockEntry{r, state};
    }
    check.levels.push_back(level);
  }
  return check;
}

std::vector<std::string> ListBlockFiles(const std::string& archiveOrPatchPath) {
  const std::string stem = PathStem(archiveOrPatchPath);
  const size_t slash = stem.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : stem.substr(0, slash + 1);
  const std::string prefix = stem.substr(dir.size()) + "_";

  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(dir.empty() ? "." : dir.c_str()), &closedir);
  if (!listing) return found;
  auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  while (const dirent* entry = readdir(listing.get())) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + 11 && name.compare(0, prefix.size(), prefix) == 0 &&
        name.compare(name.size() - 3, 3, ".pb") == 0 &&
        std::all_of(name.begin() + prefix.size(), name.end() - 3, isHex))
      found.push_back(dir + name);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace vrk
