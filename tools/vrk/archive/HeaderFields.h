// Header words that the archive interface does not report (table size,
// wasted bytes, where the data area ends), read straight from the files for
// `vrk info`.
#ifndef VRK_HEADER_FIELDS_H
#define VRK_HEADER_FIELDS_H

#include <cstdint>
#include <string>

namespace vrk {

struct HeaderFields {
  bool read = false;          // false when the header could not be read
  uint32_t tableSize = 0;
  bool hasWastedBytes = false;  // the advanced header counts them
  uint32_t wastedBytes = 0;
  uint32_t dataEnd = 0;       // basic: where the block table starts
};

// Advanced archives: the authoritative header at the start of the ".bhl"
// side file. Basic archives: the header at offset 8 of the archive file.
HeaderFields ReadHeaderFields(const std::string& archivePath, bool advanced);

}  // namespace vrk

#endif
