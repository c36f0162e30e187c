// Reading a patch file (".vrx") in the tool, for describing and checking a
// patch before the library applies it. Every length and checksum is checked
// before anything in the file is trusted.
#ifndef VRK_PATCH_FILE_H
#define VRK_PATCH_FILE_H

#include <OrvelPacket.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrk {

struct PatchFile {
  uint32_t versionHigh = 0;
  uint32_t versionLow = 0;  // the patch level
  std::vector<PatchData> records;

  // The distinct levels of the records, ascending.
  std::vector<uint32_t> Levels() const;
};

// Throws a ToolError naming `path` when the file is missing or unreadable, or
// is not a well-formed patch file (size, format, header or record checksum).
// A URL is fetched whole through the library, and named as ShownUrl shows it.
PatchFile ReadPatchFile(const std::string& path);

// "12 files at levels 2-5", "1 file at level 5".
std::string DescribeRecords(const PatchFile& patch);

// The CRC-32 that patch and block files store after their data; 0 for no
// bytes (the library's checksum refuses an empty buffer).
uint32_t PatchChecksum(const void* data, size_t size);

// A little-endian word at `bytes`.
uint32_t LittleEndianWord(const unsigned char* bytes);

}  // namespace vrk

#endif
