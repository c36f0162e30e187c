// Why an archive did not open, worded from a look at its files: the library
// returns only a code, and the same code covers a missing side file, a cut
// off archive and a damaged table.
#ifndef VRK_OPEN_FAILURE_H
#define VRK_OPEN_FAILURE_H

#include <string>

namespace vrk {

// The whole message for a failed open of `archive` with library code
// `code`: "pack.vrk: pack.bhl: the block table is damaged (...)", or the
// library's reason when the files show nothing more precise.
std::string DescribeOpenFailure(const std::string& archive, int code);

// For an archive whose files are cut short or damaged (a basic one: whose
// tables do not hold together), the line that points at `vrk salvage`;
// else "".
std::string OpenFailureHint(const std::string& archive, int code);

// "try `vrk salvage ARCHIVE NEW.vrk` to recover the intact files", with the
// archive's own extension.
std::string SalvageAdvice(const std::string& archive);

}  // namespace vrk

#endif
