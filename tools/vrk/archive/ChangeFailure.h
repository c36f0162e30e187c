// Why a change to an archive failed, naming the path at fault. The library's
// codes for failed writes say only that a write failed, and its last system
// error is not always set (a journal that cannot be created beside the
// archive leaves none); a look at the archive's files and their directory
// finds the path that cannot be written and the system's reason.
#ifndef VRK_CHANGE_FAILURE_H
#define VRK_CHANGE_FAILURE_H

#include <string>
#include <vector>

namespace vrk {

// The reason for library code `code` from a change of the archive whose
// files on disk are `files` (the archive file first): "a.bhl: Permission
// denied", "no file can be created in dir: Read-only file system", or the
// library's reason (DescribeError) when the files show nothing.
std::string DescribeChangeFailure(const std::vector<std::string>& files, int code);

// The directory `path` is in, as a message names it: "dir", or "the current
// directory".
std::string ShownDirectory(const std::string& path);

}  // namespace vrk

#endif
