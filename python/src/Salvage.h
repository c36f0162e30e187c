// orvelpacket.salvage: the intact files of a damaged archive of either variant into a
// new one, as vrk salvage writes it (without the tree record's names, which
// the package does not read).
#ifndef ORVELPY_SALVAGE_H
#define ORVELPY_SALVAGE_H

#include <string>
#include <utility>
#include <vector>

namespace orvelpy {

struct SalvageReport {
  std::vector<std::string> recovered;                       // names in the new archive
  std::vector<std::pair<std::string, std::string>> lost;    // name, reason
  unsigned unreachable = 0;  // files no intact table entries name
};

// Writes `target` (replacing an archive there) from what `damaged` still
// holds; throws LibraryFailure when neither could be opened or written.
SalvageReport Salvage(const std::string& damaged, const std::string& target);

}  // namespace orvelpy

#endif
