// Fuzzes opening and using an advanced archive whose three files are cut
// from arbitrary bytes: two little-endian 16-bit lengths, then the archive
// file, the table side file and, with what is left, the list side file.
#include "FuzzArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  size_t n1 = data[0] | (data[1] << 8);
  size_t n2 = data[2] | (data[3] << 8);
  data += 4;
  size -= 4;
  if (n1 > size) n1 = size;
  if (n2 > size - n1) n2 = size - n1;
  std::string base = orvel_fuzz::ScratchBase();
  orvel_fuzz::WriteBytes(base + ".vrk", data, n1);
  orvel_fuzz::WriteBytes(base + ".bhl", data + n1, n2);
  orvel_fuzz::WriteBytes(base + ".lst", data + n1 + n2, size - n1 - n2);
  if (IOrvelPacket* a = g_piVrkSystem->LoadPacket((base + ".vrk").c_str())) {
    orvel_fuzz::Exercise(a);
    g_piVrkSystem->FreePacket(a);
  }
  return 0;
}
