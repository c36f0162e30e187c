// A small host program: creates an archive, stores two files, reads one back
// by name and lists what the archive holds.
//
//   g++ -std=c++17 quickstart.cpp $(pkg-config --cflags --libs OrvelPacket)
#include <OrvelPacket.h>

#include <cstdio>
#include <cstring>
#include <string>

static int Fail(const char* what) {
  std::fprintf(stderr, "quickstart: %s failed with error %d\n", what, g_piVrkSystem->GetErrCode());
  return 1;
}

int main(int argc, char** argv) {
  std::string base = argc > 1 ? argv[1] : "quickstart-demo";
  std::string path = base + ".vrk";

  // An advanced archive (flag 8): archive file plus ".bhl" and ".lst" side files.
  IOrvelPacket* archive = g_piVrkSystem->NewPacket(path.c_str(), VRK_CREATE_ADVANCED,
                                                   VRK_FORMAT_VERSION, 64, 0, 1);
  if (!archive) return Fail("NewPacket");

  const char* readme = "OrvelPacket keeps data files inside archives.\n";
  std::string table(4096, 'x');
  archive->BeginUpdate();
  archive->AddFileFromMemory("docs/readme.txt", VRK_ADD_COMPRESS, readme,
                             static_cast<unsigned>(std::strlen(readme)), 0, 0);
  archive->AddFileFromMemory("data/table.bin", VRK_ADD_COMPRESS, table.data(),
                             static_cast<unsigned>(table.size()), 0, 0);
  if (archive->EndUpdate() != VRKERR_OK) return Fail("EndUpdate");
  g_piVrkSystem->FreePacket(archive);

  // Open it again and read a file back by name (case does not matter).
  archive = g_piVrkSystem->LoadPacket(path.c_str());
  if (!archive) return Fail("LoadPacket");
  unsigned int size = 0;
  void* data = archive->ReadFileAlloc("DOCS/README.TXT", &size, VRK_BY_NAME);
  if (!data) return Fail("ReadFileAlloc");
  std::printf("read %u bytes: %.*s", size, static_cast<int>(size), static_cast<char*>(data));
  archive->FreeBuffer(data);

  std::printf("%u entries in %s:\n", archive->GetFileCount(), archive->GetPacketPath());
  char name[256];
  for (unsigned i = 0; archive->GetFileName(i, name, sizeof name) == VRKERR_OK; ++i)
    std::printf("  %-20s %6u bytes, stored in %u\n", name, archive->GetFileOriginalSize(name),
                archive->GetFileStoredSize(name));
  g_piVrkSystem->FreePacket(archive);
  return 0;
}
