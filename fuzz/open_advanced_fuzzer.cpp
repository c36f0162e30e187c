// Fuzzes opening and using an advanced archive whose three files are cut
// from arbitrary bytes: two little-endian 16-bit lengths, then the archive
// file, the table side file and, with what is left, the list side file.
#include "FuzzArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = orvel_fuzz::PlaceAdvancedFiles(data, size);
  if (path.empty()) return 0;
  if (IOrvelPacket* a = g_piVrkSystem->LoadPacket(path.c_str())) {
    orvel_fuzz::Exercise(a);
    g_piVrkSystem->FreePacket(a);
  }
  return 0;
}
