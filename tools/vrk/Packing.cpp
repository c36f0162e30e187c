#include "Packing.h"

#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <sys/stat.h>

#include <cstdio>

#include "CompressPipeline.h"
#include "Counted.h"
#include "ErrorReport.h"
#include "PacketHandle.h"
#include "ProgressBar.h"

namespace vrk {
namespace {

// Everything in an archive is addressed with 32-bit offsets; stay clear of
// the limit so the tables still fit behind the data.
constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFFull - (16u << 20);

uint64_t DiskSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

void AddPackOptions(CLI::App* cmd, PackOptions& options) {
  cmd->add_option("--version", options.versionText,
                  "Version stamp of the added files, HIGH:LOW or LOW (default: the archive's)");
  cmd->add_option("-C,--directory", options.baseDir,
                  "Take PATHs, and so the names, relative to DIR");
  cmd->add_flag("--store", options.store, "Store files uncompressed");
  options.jobs = DefaultJobs();
  cmd->add_option("-j,--jobs", options.jobs, "Compression threads (default: number of cores)")
      ->check(CLI::Range(1u, 1024u));
  cmd->add_flag("--backslash", options.backslash,
                "Separate name components with '\\' as Windows hosts expect");
  cmd->add_flag("-q,--quiet", options.quiet, "No progress bar and no summary");
}

std::vector<InputFile> CollectPackInputs(const PackOptions& options) {
  std::vector<InputFile> files =
      CollectInputs(options.paths, options.baseDir, options.backslash, options.quiet);
  DropRepeatedNames(files);
  return files;
}

void DropArchiveFiles(std::vector<InputFile>& files, const std::vector<std::string>& archiveFiles,
                      bool quiet) {
  for (const std::string& path : archiveFiles) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    for (size_t i = 0; i < files.size();) {
      if (files[i].device == st.st_dev && files[i].inode == st.st_ino) {
        if (!quiet) PrintProblem("warning: " + files[i].diskPath + ": the archive itself, skipped");
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        ++i;
      }
    }
  }
}

PackResult PackFiles(const Packet& packet, const std::vector<InputFile>& files,
                     const PackOptions& options, bool replace) {
  // Without --version the files carry the archive's stamp. It is passed
  // explicitly: a replacement given 0:0 would otherwise keep 0:0.
  Version version = options.versionText.empty() ? packet.Stamp() : ParseVersion(options.versionText);
  const unsigned flags = replace ? VRK_ADD_REPLACE : 0;

  uint64_t totalBytes = 0;
  for (const InputFile& f : files) totalBytes += f.size;
  ProgressBar bar("packing", files.size(), totalBytes, options.quiet);

  PackResult result;
  uint64_t archiveSize = DiskSize(packet.Path());
  UpdateBracket bracket(packet);
  {
    CompressPipeline pipeline(files, options.jobs, options.store);
    for (size_t i = 0; i < files.size(); ++i) {
      const InputFile& file = files[i];
      PackedFile packed = pipeline.Take(i);
      if (!packed.error.empty()) {
        bar.Finish();
        PrintProblem(packed.error);
        ++result.unreadable;
        continue;
      }
      archiveSize += packed.bytes.size() + 4;
      if (archiveSize > kMaxArchiveSize)
        throw ToolError(packet.Path() + ": " + file.diskPath +
                        ": the archive would grow beyond 4 GiB");

      static const unsigned char kEmpty = 0;
      const void* data = packed.bytes.empty() ? &kEmpty : packed.bytes.data();
      const unsigned storedSize = static_cast<unsigned>(packed.bytes.size());
      // The library marks whatever AddCompressedFile stores as compressed,
      // so files kept as they are go through AddFileFromMemory without the
      // compress flag.
      int rc = packed.compressed
                   ? packet->AddCompressedFile(file.name.c_str(), flags, data, storedSize,
                                               packed.originalSize, version.high, version.low)
                   : packet->AddFileFromMemory(file.name.c_str(), flags, data, storedSize,
                                               version.high, version.low);
      if (rc != 0) throw LibraryError(packet.About(file.name), rc);
      ++result.files;
      result.originalBytes += packed.originalSize;
      result.storedBytes += storedSize;
      bar.Advance(packed.originalSize);
    }
  }
  LibraryProgress tables(bar);
  bracket.Commit();
  bar.Finish();
  return result;
}

int FinishPack(const std::string& archive, const PackResult& result, bool quiet) {
  const int status = result.unreadable ? kExitFailure : 0;
  if (quiet) return status;
  double ratio = result.originalBytes
                     ? 100.0 * static_cast<double>(result.storedBytes) /
                           static_cast<double>(result.originalBytes)
                     : 100.0;
  std::printf("%s: %s, %s stored in %s (%.0f%%)\n", archive.c_str(),
              Counted(result.files, "file").c_str(), FormatBytes(result.originalBytes).c_str(),
              FormatBytes(result.storedBytes).c_str(), ratio);
  return status;
}

}  // namespace vrk
