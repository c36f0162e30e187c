// Fuzzes salvage of a hostile archive: a first byte even takes the rest as a
// basic archive file; odd, as the three files of an advanced archive cut as
// in fuzz_open_advanced (two little-endian 16-bit lengths, then the archive
// file, the table side file and the list side file). Every entry is read
// and named; nothing may read outside a buffer or hold memory beyond a small
// multiple of the input.
#include "FuzzArchive.h"

namespace {

void SalvageAll(const std::string& path) {
  CVrkSalvage salvage;
  if (!salvage.Open(path.c_str())) return;
  salvage.NameEntry("(attributes)");
  for (unsigned i = 0; i < salvage.GetEntryCount(); ++i) {
    VrkSalvageEntry e;
    if (!salvage.GetEntry(i, &e)) std::abort();
    void* data = nullptr;
    for (int decoded : {0, 1}) {
      if (salvage.ReadEntry(i, decoded, &data) == VRK_SALVAGE_OK && !data && e.storedSize)
        std::abort();
      salvage.FreeBuffer(data);
      data = nullptr;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool advanced = data[0] & 1;
  ++data;
  --size;
  const std::string base = orvel_fuzz::ScratchBase();
  if (!advanced) {
    orvel_fuzz::WriteBytes(base + ".pak", data, size);
    SalvageAll(base + ".pak");
    return 0;
  }
  const std::string path = orvel_fuzz::PlaceAdvancedFiles(data, size);
  if (!path.empty()) SalvageAll(path);
  return 0;
}
