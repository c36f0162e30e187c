// The block files that hold a patch's data ("data_00000005.pb", one per
// level, beside the patch file): which are there, and whether each record's
// entry (its stored bytes followed by their CRC-32 word) lies inside its
// block file and matches its checksum.
#ifndef VRK_PATCH_BLOCKS_H
#define VRK_PATCH_BLOCKS_H

#include <OrvelPacket.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vrk {

struct BlockLevel {
  uint32_t level = 0;
  std::string path;
  bool present = false;
  uint64_t size = 0;
  size_t records = 0;
  size_t damaged = 0;  // entries outside the file or with a wrong checksum
  std::string failure;  // why a block file at a URL that is not missing could not be read
};

enum class EntryState { kIntact, kNoBlockFile, kOutOfBounds, kChecksum };

struct BlockEntry {
  PatchData record;
  EntryState state = EntryState::kIntact;
};

struct BlockCheck {
  std::vector<BlockLevel> levels;   // ascending
  std::vector<BlockEntry> entries;  // in the order of the records given

  bool Intact() const;
  // One message per missing block file and per damaged entry, each starting
  // with the block file's path.
  std::vector<std::string> Problems() const;
};

// Checks the entries of `records` in the block files beside `patchPath`.
// Reads each entry once; memory is bounded by the largest entry that fits in
// its file. Beside a patch file at a URL, the block files are fetched
// through the library (their paths then shown as ShownUrl shows them), and
// without `checksums` only their sizes are (every entry must lie inside its
// file): nothing of the entries is fetched, so that applying fetches each of
// them once, and the library checks each checksum before it writes.
BlockCheck CheckBlockFiles(const std::string& patchPath, const std::vector<PatchData>& records,
                           bool checksums = true);

// The block files on disk beside an archive or patch file: the stem, '_',
// eight hexadecimal digits and ".pb", in name order.
std::vector<std::string> ListBlockFiles(const std::string& archiveOrPatchPath);

}  // namespace vrk

#endif
