#include "patch/PatchFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <set>

#include "archive/LibraryFile.h"
#include "archive/RemoteArchive.h"
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

namespace {

// The bytes of a patch file, wherever it is: its size and a reader of
// `count` bytes at `offset` (false when they could not all be read).
struct PatchBytes {
  uint64_t size = 0;
  std::function<bool(void* out, size_t count, uint64_t offset)> read;
};

PatchFile ParsePatchFile(const std::string& path, const PatchBytes& bytes) {
  const uint64_t fileSize = bytes.size;
  unsigned char header[kHeaderSize];
  if (fileSize < kHeaderSize + 4 || !bytes.read(header, kHeaderSize, 0))
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
  if (!bytes.read(body.data(), body.size(), kHeaderSize))
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

// A patch file at a URL, fetched whole by the library.
PatchFile ReadRemotePatchFile(const std::string& url) {
  const std::string shown = ShownUrl(url);
  const LibraryFile file(url, VRK_READ_WHOLE);
  if (!file.Open()) throw ToolError(DescribeRemoteFailure(shown, VRKERR_OPEN_FILE));
  PatchBytes bytes;
  bytes.size = file.Size();
  if (bytes.size == 0xFFFFFFFFu) throw ToolError(DescribeRemoteFailure(shown, VRKERR_SEEK));
  bytes.read = [&file](void* out, size_t count, uint64_t offset) {
    return file.ReadAt(out, static_cast<uint32_t>(count), static_cast<uint32_t>(offset));
  };
  return ParsePatchFile(shown, bytes);
}

}  // namespace

PatchFile ReadPatchFile(const std::string& path) {
  if (IsUrl(path)) return ReadRemotePatchFile(path);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) {
    if (errno == ENOENT) throw ToolError(path + ": patch file is missing");
    throw ToolError(SystemProblem(path, errno));
  }
  struct stat st;
  if (fstat(fileno(file.get()), &st) != 0) throw ToolError(SystemProblem(path, errno));
  if (!S_ISREG(st.st_mode)) throw Damaged(path, "not a regular file");
  PatchBytes bytes;
  bytes.size = static_cast<uint64_t>(st.st_size);
  bytes.read = [&file](void* out, size_t count, uint64_t offset) {
    return std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(out, 1, count, file.get()) == count;
  };
  return ParsePatchFile(path, bytes);
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
