// Fuzzes opening and using a basic archive made of arbitrary bytes.
#include "FuzzArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path = orvel_fuzz::ScratchBase() + ".pak";
  orvel_fuzz::WriteBytes(path, data, size);
  if (IOrvelPacket* a = g_piVrkSystem->LoadPacket(path.c_str())) {
    orvel_fuzz::Exercise(a);
    g_piVrkSystem->FreePacket(a);
  }
  return 0;
}
