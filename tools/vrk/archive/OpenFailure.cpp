#include "archive/OpenFailure.h"

#include <OrvelPacket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

namespace vrk {
namespace {

// Where the archive files keep what this check reads. Both variants carry
// their header (or, advanced, a copy of it) after an 8-byte signature; its
// first word is the archive file's size when the header was written. The
// advanced table side file starts with the header and its checksum, and each
// table and the name list record is followed by a CRC-32 word.
constexpr uint32_t kHeaderAt = 8;
constexpr uint32_t kHeaderSize = 52;
constexpr uint32_t kChecksumSize = 4;
constexpr uint32_t kBlockEntrySize = 36;
constexpr uint32_t kHashEntrySize = 20;
constexpr unsigned char kMagic[4] = {'V', 'R', 'K', 0x1A};

// The start of a file (all of it, up to a limit) and its size.
struct FileBytes {
  std::string bytes;
  uint64_t size = 0;
  int error = 0;  // errno of a failed open or read
  bool Has(uint64_t offset, uint64_t count) const { return offset + count <= bytes.size(); }
  uint32_t Word(uint64_t offset) const {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
  }
};

FileBytes ReadStart(const std::string& path, uint64_t limit = uint64_t{1} << 30) {
  FileBytes f;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    f.error = errno;
  } else {
    f.size = static_cast<uint64_t>(st.st_size);
    f.bytes.resize(static_cast<size_t>(std::min(f.size, limit)));
    const ssize_t n = pread(fd, &f.bytes[0], f.bytes.size(), 0);
    if (n < 0 || static_cast<size_t>(n) != f.bytes.size()) f.error = n < 0 ? errno : EIO;
  }
  if (fd >= 0) close(fd);
  return f;
}

// True when the `count` bytes at `offset` are followed by their checksum.
bool ChecksumMatches(const FileBytes& f, uint64_t offset, uint64_t count) {
  if (count == 0) return true;
  void* data = const_cast<char*>(f.bytes.data() + offset);
  return (CalcVrkCheckSum(data, count) & 0xFFFFFFFFu) == f.Word(offset + count);
}

std::string Truncated(const std::string& what, uint64_t has, uint64_t needs) {
  return what + " is truncated (it has " + std::to_string(has) + " bytes, " +
         std::to_string(needs) + " are needed)";
}

const char* kDamagedChecksum = " is damaged (its checksum does not match)";

// A checked record (`count` bytes and their checksum at `offset`) of a side
// file: what is wrong with it, if anything.
std::optional<std::string> CheckRecord(const FileBytes& f, const std::string& what,
                                       const std::string& fileWhat, uint64_t offset,
                                       uint64_t count) {
  if (!f.Has(offset, count + kChecksumSize)) {
    if (f.size > f.bytes.size()) return std::nullopt;  // too large to have been read whole
    return Truncated(fileWhat, f.size, offset + count + kChecksumSize);
  }
  if (!ChecksumMatches(f, offset, count)) return what + kDamagedChecksum;
  return std::nullopt;
}

// The table side file: its header, then the block and hash tables.
std::optional<std::string> CheckTables(const FileBytes& side) {
  const std::string file = "the table side file";
  if (auto bad = CheckRecord(side, "the table header", file, 0, kHeaderSize)) return bad;
  const uint64_t blocks = uint64_t{side.Word(20)} * kBlockEntrySize;
  if (auto bad = CheckRecord(side, "the block table", file, side.Word(16), blocks)) return bad;
  const uint64_t hashes = uint64_t{side.Word(36)} * kHashEntrySize;
  return CheckRecord(side, "the hash table", file, side.Word(32), hashes);
}

// The name list side file: a block entry for the list, then the list.
std::optional<std::string> CheckNameList(const FileBytes& list) {
  const std::string file = "the name list file";
  if (auto bad = CheckRecord(list, "the name list record", file, 0, kBlockEntrySize)) return bad;
  return CheckRecord(list, "the name list", file, list.Word(12), list.Word(16));
}

// What the archive's own files show; nothing when they look whole.
std::optional<std::string> Inspect(const std::string& archive) {
  const FileBytes main = ReadStart(archive, kHeaderAt + kHeaderSize);
  if (main.error) return std::string(std::strerror(main.error));
  if (main.size < kHeaderAt + 4) return Truncated("the archive", main.size, kHeaderAt + kHeaderSize);
  if (std::memcmp(main.bytes.data(), kMagic, sizeof kMagic) != 0) return std::nullopt;

  const std::vector<std::string> files = ArchiveDiskFiles(archive, true);
  const bool advanced = files.size() == 3;
  FileBytes side;
  if (advanced) {
    side = ReadStart(files[1]);
    if (side.error == ENOENT) return BaseName(files[1]) + ": the table side file is missing";
    if (side.error) return BaseName(files[1]) + ": " + std::strerror(side.error);
  }
  // The side file's header is the one a reader trusts; the copy in the
  // archive file stands in for it when it is damaged.
  const FileBytes& header = advanced && side.Has(0, kHeaderSize) ? side : main;
  const uint64_t headerAt = &header == &side ? 0 : kHeaderAt;
  if (header.Has(headerAt, 4) && main.size < header.Word(headerAt))
    return Truncated("the archive", main.size, header.Word(headerAt));
  if (!advanced) return std::nullopt;

  if (auto bad = CheckTables(side)) return BaseName(files[1]) + ": " + *bad;
  const FileBytes list = ReadStart(files[2]);
  if (list.error == ENOENT) return std::nullopt;  // opens with an empty name list
  if (list.error) return BaseName(files[2]) + ": " + std::strerror(list.error);
  if (auto bad = CheckNameList(list)) return BaseName(files[2]) + ": " + *bad;
  return std::nullopt;
}

// True when the file starts with the archive signature.
bool HasSignature(const std::string& archive) {
  const FileBytes f = ReadStart(archive, sizeof kMagic);
  return !f.error && f.Has(0, sizeof kMagic) &&
         std::memcmp(f.bytes.data(), kMagic, sizeof kMagic) == 0;
}

}  // namespace

std::string DescribeOpenFailure(const std::string& archive, int code) {
  // Codes that say nothing about the files: the wait for a writer, a
  // refused name, memory, a needed recovery.
  switch (code) {
    case VRKERR_BUSY: case VRKERR_NEEDS_RECOVERY: case VRKERR_NO_MEMORY:
    case VRKERR_BAD_EXTENSION: case VRKERR_NULL_PATH:
      return archive + ": " + DescribeError(code);
    default:
      break;
  }
  if (auto found = Inspect(archive)) return archive + ": " + *found + DebugSuffix(code);
  return archive + ": " + DescribeError(code);
}

std::string OpenFailureHint(const std::string& archive, int code) {
  if (code == VRKERR_BUSY || code == VRKERR_NEEDS_RECOVERY) return "";
  const std::optional<std::string> found = Inspect(archive);
  const bool damaged = found && (found->find("truncated") != std::string::npos ||
                                 found->find("damaged") != std::string::npos);
  // A basic archive has no checksums to tell damage by: tables that do not
  // hold together are what its opening refuses.
  const bool basicTables = !HasVrkExtension(archive) && !found &&
                           (code == VRKERR_BAD_SIGNATURE || code == VRKERR_NO_HASH_TABLE ||
                            code == VRKERR_BLOCK_TABLE_IO || code == VRKERR_NO_LIST_FILE) &&
                           HasSignature(archive);
  return damaged || basicTables ? SalvageAdvice(archive) : "";
}

std::string SalvageAdvice(const std::string& archive) {
  // Salvage writes the damaged archive's variant, under its extension.
  const std::string base = BaseName(archive);
  const size_t dot = base.rfind('.');
  const std::string extension = dot == std::string::npos || dot == 0 ? "" : base.substr(dot);
  return "try `vrk salvage " + archive + " NEW" + extension + "` to recover the intact files";
}

}  // namespace vrk
