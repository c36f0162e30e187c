// -T FILE: names or paths read one per line from a file, or from standard
// input for "-", as tar's --files-from reads them.
#ifndef VRK_NAME_LIST_FILE_H
#define VRK_NAME_LIST_FILE_H

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vrk {

// Registers -T,--files-from on `cmd`; `what` says what the lines are.
void AddFilesFromOption(CLI::App* cmd, std::string& file, const std::string& what);

// Appends the lines of `file` to `names` (nothing when `file` is empty).
// Empty lines are skipped and a carriage return before the line feed is
// dropped. Throws ToolError when the file cannot be read.
void AppendNameList(std::vector<std::string>& names, const std::string& file);

}  // namespace vrk

#endif
