#include "archive/ChangeFailure.h"

#include <OrvelPacket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

namespace vrk {
namespace {

// errno of a failed write-access check of `path`, or 0.
int WriteDenied(const std::string& path) {
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return 0;
  return errno == ENOENT ? 0 : errno;
}

// The first of the archive's files, or else its directory (where the
// journal and a compaction's copy are made), that this process may not
// write, with the system's reason.
std::optional<std::string> UnwritablePath(const std::vector<std::string>& files) {
  // A directory where a file goes opens for reading only, and so the
  // library calls the archive read-only.
  for (const std::string& file : files) {
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      return file == files[0] ? "a directory, not an archive file"
                              : file + ": a directory, not the archive's side file";
  }
  for (const std::string& file : files)
    if (int err = WriteDenied(file)) return SystemProblem("cannot write " + file, err);
  if (files.empty()) return std::nullopt;
  const std::string prefix = ParentPrefix(files[0]);
  if (int err = WriteDenied(prefix.empty() ? "." : prefix))
    return SystemProblem("no file can be created in " + ShownDirectory(files[0]), err);
  return std::nullopt;
}

}  // namespace

std::string ShownDirectory(const std::string& path) {
  std::string prefix = ParentPrefix(path);
  if (prefix.empty()) return "the current directory";
  if (prefix.size() > 1) prefix.pop_back();  // "dir/" -> "dir", "/" stays
  return prefix;
}

std::string DescribeChangeFailure(const std::vector<std::string>& files, int code) {
  // A system error other than a refusal (a full disk, a size limit) is the
  // reason already; a refusal or none at all comes from a path to find.
  const int err = VrkLastSystemError();
  const bool refused = err == 0 || err == EACCES || err == EPERM || err == EROFS;
  if (code == VRKERR_READ_ONLY || (IsTransferFailure(code) && refused))
    if (auto found = UnwritablePath(files)) return *found + DebugSuffix(code);
  return DescribeError(code);
}

}  // namespace vrk
