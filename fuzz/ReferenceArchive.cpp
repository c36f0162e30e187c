#include "ReferenceArchive.h"

#include <OrvelPacket.h>
#include <stdlib.h>

#include <filesystem>

#include "FuzzArchive.h"
#include "FuzzFiles.h"
#include "FuzzRead.h"

namespace orvel_fuzz {

namespace {

constexpr unsigned kFiles = 40;

std::string Content(unsigned i, bool tiny) {
  if (i % 7 == 0) return {};
  if (tiny) return std::string(i % 5 + 1, static_cast<char>('a' + i % 26));
  std::string s;
  if (i % 2) {
    for (unsigned k = 0; k < 20 * i; ++k) s += "line " + std::to_string(k % 9) + "\n";
  } else {
    for (unsigned k = 0; k < 37 * i; ++k) s += static_cast<char>((k * 2654435761u + i) >> 13);
  }
  return s;
}

}  // namespace

std::string SampleName(unsigned i) {
  static const char* const dirs[] = {"maps/", "Data/Sound/", "", "a\\b\\", "x/y/z/"};
  return std::string(dirs[i % 5]) + "File" + std::to_string(i) + (i % 3 ? ".txt" : ".BIN");
}

bool AddSampleFiles(IOrvelPacket* a, unsigned first, unsigned count, bool tiny) {
  bool ok = true;
  a->BeginUpdate();
  for (unsigned i = first; i < first + count; ++i) {
    const std::string data = Content(i, tiny);
    ok = a->AddFileFromMemory(SampleName(i).c_str(), i % 2 ? VRK_ADD_COMPRESS : 0, data.data(),
                              static_cast<unsigned>(data.size()), 0, i % 4) == 0 &&
         ok;
  }
  return a->EndUpdate() == 0 && ok;
}

bool MakeReferenceArchive(const std::string& vrkPath) {
  IOrvelPacket* a = g_piVrkSystem->NewPacket(vrkPath.c_str(), VRK_CREATE_ADVANCED | 2,
                                             VRK_FORMAT_VERSION, 64, 0, 1);
  if (!a) return false;
  bool ok = AddSampleFiles(a, 0, kFiles, false);
  a->BeginUpdate();
  ok = a->DeleteFile(SampleName(5).c_str()) == 0 && ok;
  ok = a->EndUpdate() == 0 && ok;
  g_piVrkSystem->FreePacket(a);
  return ok;
}

ArchiveFiles ReadArchiveFiles(const std::string& vrkPath) {
  const std::string stem = vrkPath.substr(0, vrkPath.size() - 4);
  return {ReadBytes(vrkPath), ReadBytes(stem + ".bhl"), ReadBytes(stem + ".lst")};
}

const ArchiveFiles& ReferenceFiles() {
  static const ArchiveFiles files = [] {
    char dir[] = "/tmp/orvel-reference-XXXXXX";
    if (!mkdtemp(dir)) return ArchiveFiles{};
    const std::string path = std::string(dir) + "/r.vrk";
    ArchiveFiles made = MakeReferenceArchive(path) ? ReadArchiveFiles(path) : ArchiveFiles{};
    std::filesystem::remove_all(dir);
    return made;
  }();
  return files;
}

void UseReferenceWith(uint8_t kind, const uint8_t* data, size_t size) {
  const ArchiveFiles& ref = ReferenceFiles();
  FuzzFiles files{{kArchiveFile, ref.vrk}, {kTableFile, ref.bhl}, {kListFile, ref.lst}};
  FindKind(files, kind)->bytes.assign(reinterpret_cast<const char*>(data), size);
  UseArchive(PlaceFiles(files, ScratchBase()));
}

}  // namespace orvel_fuzz
