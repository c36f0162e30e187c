// Helpers for the tests of hostile trees: tree records written as a hostile
// host would (any entries, in any order), and what a destination holds that
// resolves outside it.
#ifndef VRK_TEST_HOSTILE_TREE_H
#define VRK_TEST_HOSTILE_TREE_H

#include <string>
#include <vector>

#include "tree/TreeRecord.h"

namespace vrktest {

vrk::TreeEntry RecordFile(const std::string& name);
vrk::TreeEntry RecordDirectory(const std::string& name);
vrk::TreeEntry RecordLink(const std::string& name, const std::string& target);

// Replaces the tree record of the archive at `archive` with `bytes`, at
// version 0:`level`.
void WriteRecordBytes(const std::string& archive, const std::string& bytes, unsigned level = 0);

// Replaces the tree record of the archive at `archive` with one holding
// `entries` in their order, written at version 0:`level`.
void WriteRecord(const std::string& archive, const std::vector<vrk::TreeEntry>& entries,
                 unsigned level = 0);

// The paths below `dir` (relative to it) whose symbolic links resolve
// outside `dir`, as the system resolves them (a link that leads nowhere
// resolves nowhere).
std::vector<std::string> ResolvingOutside(const std::string& dir);

}  // namespace vrktest

#endif
