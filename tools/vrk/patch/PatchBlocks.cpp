#include "patch/PatchBlocks.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdio>
#include <memory>
#include <numeric>

#include "archive/ArchiveNaming.h"
#include "archive/LibraryFile.h"
#include "archive/RemoteArchive.h"
#include "patch/PatchFile.h"

namespace vrk {
namespace {

// The bytes of one entry (its stored bytes and the checksum word after
// them) are sound when they were all read and match their checksum.
EntryState JudgeEntry(const std::vector<unsigned char>& bytes, bool read, const PatchData& r) {
  if (!read) return EntryState::kOutOfBounds;
  const uint32_t stored = LittleEndianWord(bytes.data() + r.storedSize);
  return PatchChecksum(bytes.data(), r.storedSize) == stored ? EntryState::kIntact
                                                             : EntryState::kChecksum;
}

EntryState CheckEntry(std::FILE* file, uint64_t fileSize, const PatchData& r) {
  const uint64_t end = uint64_t{r.offset} + r.storedSize + 4;
  if (end > fileSize) return EntryState::kOutOfBounds;
  std::vector<unsigned char> bytes(size_t{r.storedSize} + 4);
  const bool read = std::fseek(file, static_cast<long>(r.offset), SEEK_SET) == 0 &&
                    std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return JudgeEntry(bytes, read, r);
}

// An entry of a block file at a URL: inside the file, and with `checksums`
// fetched and checked too.
EntryState CheckRemoteEntry(const LibraryFile& file, uint64_t fileSize, const PatchData& r,
                            bool checksums) {
  const uint64_t end = uint64_t{r.offset} + r.storedSize + 4;
  if (end > fileSize) return EntryState::kOutOfBounds;
  if (!checksums) return EntryState::kIntact;
  std::vector<unsigned char> bytes(size_t{r.storedSize} + 4);
  return JudgeEntry(bytes, file.ReadAt(bytes.data(), static_cast<uint32_t>(bytes.size()), r.offset),
                    r);
}

// Checks the entries of `records[order[i..]]` at the level of `level`,
// whose block file was opened (or found missing) already, with `entry`;
// `i` moves past them.
template <class CheckOne>
void CheckLevelEntries(BlockLevel& level, const std::vector<PatchData>& records,
                       const std::vector<size_t>& order, size_t& i, BlockCheck& check,
                       CheckOne entry) {
  for (; i < order.size() && records[order[i]].versionLow == level.level; ++i) {
    const PatchData& r = records[order[i]];
    const EntryState state = level.present ? entry(r) : EntryState::kNoBlockFile;
    ++level.records;
    if (level.present && state != EntryState::kIntact) ++level.damaged;
    check.entries[order[i]] = BlockEntry{r, state};
  }
}

void CheckLocalLevel(BlockLevel& level, const std::vector<PatchData>& records,
                     const std::vector<size_t>& order, size_t& i, BlockCheck& check) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(level.path.c_str(), "rb"),
                                                       &std::fclose);
  struct stat st;
  level.present = file && fstat(fileno(file.get()), &st) == 0 && S_ISREG(st.st_mode);
  level.size = level.present ? static_cast<uint64_t>(st.st_size) : 0;
  CheckLevelEntries(level, records, order, i, check,
                    [&](const PatchData& r) { return CheckEntry(file.get(), level.size, r); });
}

void CheckRemoteLevel(BlockLevel& level, const std::vector<PatchData>& records,
                      const std::vector<size_t>& order, size_t& i, BlockCheck& check,
                      bool checksums) {
  const LibraryFile file(level.path, VRK_READ_EXACT);
  const uint32_t size = file.Open() ? file.Size() : 0xFFFFFFFFu;
  level.present = size != 0xFFFFFFFFu;
  level.size = level.present ? size : 0;
  // A block file the server has (or may have) but would not give.
  if (!level.present && VrkLastSystemError() != ENOENT)
    level.failure = DescribeRemoteFailure(ShownUrl(level.path), VRKERR_OPEN_FILE);
  CheckLevelEntries(level, records, order, i, check, [&](const PatchData& r) {
    return CheckRemoteEntry(file, level.size, r, checksums);
  });
  level.path = ShownUrl(level.path);
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
      problems.push_back(level.failure.empty() ? level.path + ": block file is missing"
                                               : level.failure);
      continue;
    }
    for (const BlockEntry& e : entries)
      if (e.record.versionLow == level.level && e.state != EntryState::kIntact)
        problems.push_back(EntryProblem(level.path, e));
  }
  return problems;
}

BlockCheck CheckBlockFiles(const std::string& patchPath, const std::vector<PatchData>& records,
                           bool checksums) {
  // Level by level, so that one block file is open at a time however many
  // levels a patch names.
  std::vector<size_t> order(records.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::stable_sort(order.begin(), order.end(), [&records](size_t a, size_t b) {
    return records[a].versionLow < records[b].versionLow;
  });

  BlockCheck check;
  check.entries.resize(records.size());
  const bool remote = IsUrl(patchPath);
  for (size_t i = 0; i < order.size();) {
    BlockLevel level;
    level.level = records[order[i]].versionLow;
    level.path = BlockFilePath(patchPath, level.level);
    if (remote) {
      CheckRemoteLevel(level, records, order, i, check, checksums);
    } else {
      CheckLocalLevel(level, records, order, i, check);
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
