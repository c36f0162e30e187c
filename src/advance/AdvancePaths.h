// Path rules of the advanced archive's three files.
#ifndef ORVEL_ADVANCE_ADVANCE_PATHS_H
#define ORVEL_ADVANCE_ADVANCE_PATHS_H

namespace orvel {

constexpr char kArchiveExtension[] = ".vrk";
constexpr char kTableFileExtension[] = ".bhl";
constexpr char kListFileExtension[] = ".lst";
constexpr char kCompactTempSuffix[] = "temp";

// True when `path` ends in ".vrk" in any letter case.
bool HasArchiveExtension(const char* path);

}  // namespace orvel

#endif
