// Writes seed inputs for fuzz_patch: patches the library makes of the
// fuzzer's target archive, one level deep and, extended, two levels deep
// (once with each level's block file).
//
//   make_patch_seeds OUTPUT_DIR
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "FuzzArchive.h"
#include "FuzzPatch.h"

namespace {

// One level of changes: a new compressed file and a stored replacement.
bool WriteLevel(IOrvelPacket* a, unsigned level) {
  const std::string name = "patch/level" + std::to_string(level) + ".txt";
  const std::string text(200 * level, static_cast<char>('a' + level));
  std::string raw(500 + 100 * level, '\0');
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<char>(i * 37 + level);
  a->BeginUpdate();
  a->SetPacketVersion(0, level);
  bool ok = a->AddFileFromMemory(name.c_str(), VRK_ADD_COMPRESS, text.data(),
                                 static_cast<unsigned>(text.size()), 0, level) == 0 &&
            a->AddFileFromMemory("data/raw.bin", 0, raw.data(),
                                 static_cast<unsigned>(raw.size()), 0, level) == 0;
  return a->EndUpdate() == 0 && ok;
}

// The checksums are right already; the repair bit is set so that mutations
// of the seeds start out past them.
void WriteSeed(const std::string& out, const std::string& stem, unsigned blockLevel) {
  orvel_fuzz::WriteBytes(out, orvel_fuzz::JoinPatchInput(
                                  {orvel_fuzz::ReadBytes(stem + ".vrx"),
                                   orvel_fuzz::ReadBytes(orvel_fuzz::BlockPath(stem, blockLevel)),
                                   true}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_patch_seeds OUTPUT_DIR\n");
    return 2;
  }
  const std::string out = argv[1];
  char dir[] = "/tmp/orvel-seeds-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string stem = std::string(dir) + "/s";
  if (!orvel_fuzz::MakeTargetArchive(stem + ".vrk")) return 1;
  IOrvelPacket* a = g_piVrkSystem->LoadPacket((stem + ".vrk").c_str());
  IVrkPatchBuilder* b = a ? g_piVrkSystem->NewPatchBuilder(a) : nullptr;
  if (!b) {
    std::fprintf(stderr, "make_patch_seeds: no patch builder (%d)\n", g_nVrkErrCode);
    return 1;
  }
  CVrkPatcher patcher(a, b);
  int rc = WriteLevel(a, 1) ? patcher.CreatePatchFile() : -1;
  if (rc == 0) WriteSeed(out + "/patch-level1", stem, 1);
  if (rc == 0) rc = WriteLevel(a, 2) ? patcher.ExtendPatchFile() : -1;
  if (rc == 0) {
    WriteSeed(out + "/patch-levels12-block1", stem, 1);
    WriteSeed(out + "/patch-levels12-block2", stem, 2);
  }
  g_piVrkSystem->FreePatchBuilder(b);
  g_piVrkSystem->FreePacket(a);
  std::filesystem::remove_all(dir);
  if (rc != 0) std::fprintf(stderr, "make_patch_seeds: failed (%d)\n", rc);
  return rc == 0 ? 0 : 1;
}
