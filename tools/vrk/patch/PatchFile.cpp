#include "patch/PatchFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "console/Counted.h"
#include "console/ErrorReport.h"

namespace vrk {
namespace {

// versionHigh, versionLow, format, record count, reserved, header checksum.
constexpr size_t kHeaderSize = 24;
constexpr size_t kRecordSize = 36;
constexpr uint32_t kPatchFormat = 1;
static_assert(sizeof(PatchData) == kRecordSize, "a record's nine words fill a PatchData");

ToolError Damaged(const std::string& path, const std::string& what) {
  return ToolError(path + ": not a valid patch file (" + what + ")");
}

}  // namespace

uint32_t LittleEndianWord(const unsigned char* b) {
  return b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24;
}

uint32_t PatchChecksum(const void* data, size_t size) {
  if (size == 0) return 0;
  return static_cast<uint32_t>(CalcVrkCheckSum(const_cast<void*>(data), size));
}

PatchFile ReadPatchFile(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    if (errno == ENOENT) throw ToolError(path + ": patch file is missing");
    throw ToolError(SystemProblem(path, errno));
  }
  struct stat st;
  if (fstat(fileno(file.get()), &st) != 0) throw ToolError(SystemProblem(path, errno));
  if (!S_ISREG(st.st_mode)) throw Damaged(path, "not a regular file");
  const uint64_t fileSize = static_cast<uint64_t>(st.st_size);

  unsigned char header[kHeaderSize];
  if (fileSize < kHeaderSize + 4 || std::fread(header, 1, kHeaderSize, file.get()) != kHeaderSize)
    throw Damaged(path, "too short");
  if (PatchChecksum(header, kHeaderSize - 4) != LittleEndianWord(header + 20))
    throw Damaged(path, "header checksum mismatch");
  const uint32_t format = LittleEndianWord(header + 8);
  if (format != kPatchFormat) throw Damaged(path, "unknown format " + std::to_string(format));
  // The count decides nothing until the file's size agrees with it.
  const uint32_t count = LittleEndianWord(header + 12);
  const uint64_t expected = kHeaderSize + uint64_t{count} * kRecordSize + 4;
  if (fileSize != expected)
    throw Damaged(path, Counted(count, "record") + " need " + std::to_string(expected) +
                            " bytes, the file has " + std::to_string(fileSize));

  std::vector<unsigned char> body(count * kRecordSize + 4);
  if (std::fread(body.data(), 1, body.size(), file.get()) != body.size())
    throw Damaged(path, "shorter than its size");
  const size_t recordBytes = body.size() - 4;
  if (PatchChecksum(body.data(), recordBytes) != LittleEndianWord(body.data() + recordBytes))
    throw Damaged(path, "record checksum mismatch");

  PatchFile patch;
  patch.versionHigh = LittleEndianWord(header);
  patch.versionLow = LittleEndianWord(header + 4);
  patch.records.resize(count);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* r = body.data() + i * kRecordSize;
    uint32_t words[kRecordSize / 4];
    for (size_t w = 0; w < kRecordSize / 4; ++w) words[w] = LittleEndianWord(r + 4 * w);
    std::memcpy(&patch.records[i], words, kRecordSize);
  }
  return patch;
}

std::vector<uint32_t> PatchFile::Levels() const {
  std::set<uint32_t> levels;
  for (const PatchData& r : records) levels.insert(r.versionLow);
  return {levels.begin(), levels.end()};
}

std::string DescribeRecords(const PatchFile& patch) {
  const std::vector<uint32_t> levels = patch.Levels();
  std::string text = Counted(patch.records.size(), "file");
  if (levels.size() == 1) text += " at level " + std::to_string(levels[0]);
  if (levels.size() > 1)
    text += " at levels " + std::to_string(levels.front()) + "-" + std::to_string(levels.back());
  return text;
}

}  // namespace vrk
