// The temporary archive that create writes beside the one it makes: its
// name (".data.vrk-new1234.vrk", the writer's process id in it), the lock
// that marks it as in use, and the removal of those that a vrk killed on the
// way (SIGKILL, a crash, a power cut) left behind.
#ifndef VRK_TEMPORARY_ARCHIVE_H
#define VRK_TEMPORARY_ARCHIVE_H

#include <string>
#include <vector>

namespace vrk {

// The temporary archive file of process `pid` for `archive`: hidden, beside
// it, ending in ".vrk" when advanced.
std::string TemporaryArchivePath(const std::string& archive, long pid, bool advanced);

// Every file a temporary archive may have: the archive file, its side
// files and the library's journal of it.
std::vector<std::string> TemporaryArchiveFiles(const std::string& temporary, bool advanced);

// Creates the temporary archive file (empty) and locks it to show that a
// live vrk writes it; the lock lasts until the returned descriptor is
// closed. Throws a ToolError about `archive` with the system's reason.
int ClaimTemporaryArchive(const std::string& temporary, const std::string& archive);

// Removes the temporary archives beside `archive` that are provably vrk's
// and stale: named as TemporaryArchivePath names them, for a process that
// no longer exists, not locked, and an archive file or an empty one (as
// created before its header). Anything else that looks similar stays, and
// all stay while the archive's own journal is there (its recovery may need
// them). Returns the number of temporary archives removed.
int RemoveStaleTemporaries(const std::string& archive);

}  // namespace vrk

#endif
