// Writes seed inputs made of archives the library writes:
//
//   make_archive_seeds packet|tables|list OUTPUT_DIR
//
// packet: containers (FuzzFiles.h) of both variants, plain and with
// enciphered or scrambled tables, with holes and replaced files, with a side
// file missing or an extra one, and two archives of 3000 files each (the
// advanced one plain).
// tables, list: the reference archive's side file (ReferenceArchive.h), as
// written and in a plain variant, and for list the name list of a large
// archive.
#include <OrvelPacket.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "FuzzArchive.h"
#include "FuzzFiles.h"
#include "FuzzLayout.h"
#include "FuzzListText.h"
#include "FuzzPlain.h"
#include "FuzzRepair.h"
#include "ReferenceArchive.h"
#include "advance/AdvanceFormat.h"

namespace {

using namespace orvel_fuzz;

constexpr unsigned kLarge = 3000;

std::string g_dir;  // scratch directory of this run
std::string g_out;  // seed directory

void Seed(const std::string& name, const std::string& bytes) {
  WriteBytes(g_out + "/" + name, bytes);
}
void Seed(const std::string& name, const FuzzFiles& files) { Seed(name, JoinFiles(files)); }

// An archive of `files` sample files (tiny ones for large archives) with
// `flags` (bit value 8 advanced, 2 enciphered or scrambled); small ones get
// a hole (a deleted file) and a file replaced by a larger one.
std::string MakeArchive(const std::string& name, unsigned flags, unsigned files) {
  const std::string path = g_dir + "/" + name;
  IOrvelPacket* a = g_piVrkSystem->NewPacket(path.c_str(), static_cast<int>(flags),
                                             VRK_FORMAT_VERSION, files * 4 / 3, 0, 1);
  bool ok = a && AddSampleFiles(a, 0, files, files > 100);
  if (ok && files <= 100) {
    static const char more[] = "replaced by a longer text, replaced by a longer text";
    a->BeginUpdate();
    ok = a->DeleteFile(SampleName(3).c_str()) == 0 &&
         a->AddFileFromMemory(SampleName(4).c_str(), VRK_ADD_REPLACE | VRK_ADD_COMPRESS, more,
                              sizeof more - 1, 0, 2) == 0 &&
         a->AddFileFromMemory("(patchlist)", 0, "\1\0\0\0", 4, 0, 0) == 0;
    ok = a->EndUpdate() == 0 && ok;
  }
  g_piVrkSystem->FreePacket(a);
  if (!ok)
    std::fprintf(stderr, "make_archive_seeds: %s failed (%d)\n", name.c_str(), g_nVrkErrCode);
  return path;
}

void PacketSeeds() {
  for (unsigned cipher : {0u, 2u}) {
    const std::string tag = cipher ? "-protected" : "-plain";
    const ArchiveFiles adv = ReadArchiveFiles(MakeArchive("adv" + tag + ".vrk", 8 | cipher, 12));
    const std::string basic = ReadBytes(MakeArchive("basic" + tag + ".pak", cipher, 12));
    Seed("advanced" + tag, {{kArchiveFile, adv.vrk}, {kTableFile, adv.bhl}, {kListFile, adv.lst}});
    Seed("basic" + tag, {{kArchiveFile, basic}});
    Seed("basic-pak" + tag, {{kOtherName, basic}});
    // The factory with a side file missing, or with extra ones.
    Seed("advanced-no-list" + tag, {{kArchiveFile, adv.vrk}, {kTableFile, adv.bhl}});
    Seed("advanced-no-tables" + tag, {{kArchiveFile, adv.vrk}, {kListFile, adv.lst}});
    Seed("advanced-no-archive" + tag, {{kTableFile, adv.bhl}, {kListFile, adv.lst}});
    Seed("advanced-as-pak" + tag,
         {{kOtherName, adv.vrk}, {kTableFile, adv.bhl}, {kListFile, adv.lst}});
    Seed("basic-with-sides" + tag,
         {{kArchiveFile, basic}, {kTableFile, adv.bhl}, {kListFile, adv.lst}});
    Seed("both" + tag, {{kArchiveFile, adv.vrk},
                        {kTableFile, adv.bhl},
                        {kListFile, adv.lst},
                        {kOtherName, basic}});
  }
  // Plain tables: deciphering 200 KB at every open and commit would slow
  // the runs of every input made from it; the small ones are enciphered.
  const ArchiveFiles large = ReadArchiveFiles(MakeArchive("large.vrk", 8, kLarge));
  Seed("advanced-large",
       {{kArchiveFile, large.vrk}, {kTableFile, large.bhl}, {kListFile, large.lst}});
  Seed("basic-large", {{kArchiveFile, ReadBytes(MakeArchive("large.pak", 2, kLarge))}});
}

// The reference tables deciphered, marked plain and sealed again.
void TablesSeeds() {
  const ArchiveFiles& ref = ReferenceFiles();
  Seed("tables", ref.bhl);
  FuzzFiles plain{{kTableFile, ref.bhl}};
  ToPlain(plain[0]);
  PutWord(
      plain[0].bytes, offsetof(orvel::AdvanceHeader, flags),
      GetWord(plain[0].bytes, offsetof(orvel::AdvanceHeader, flags)) & ~orvel::kAdvFlagCipherMask);
  RepairCheckSums(plain);
  Seed("tables-plain", plain[0].bytes);
}

// The reference list as written and stored uncompressed, and a large list.
void ListSeeds() {
  const ArchiveFiles& ref = ReferenceFiles();
  Seed("list", ref.lst);
  std::string text;
  if (DecodeListSide(ref.lst, &text)) {
    FuzzFiles stored{{kListFile, ref.lst}};
    std::string& lst = stored[0].bytes;
    lst.resize(orvel::kListRecordSize);
    PutWord(lst, offsetof(orvel::AdvanceBlockEntry, flags), 0);
    PutWord(lst, offsetof(orvel::AdvanceBlockEntry, storedSize),
            static_cast<uint32_t>(text.size()));
    lst += text + std::string(orvel::kChecksumSize, '\0');
    RepairCheckSums(stored);
    Seed("list-stored", lst);
  }
  Seed("list-large", ReadArchiveFiles(MakeArchive("large.vrk", 8, kLarge)).lst);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc == 3 ? argv[1] : "";
  if (what != "packet" && what != "tables" && what != "list") {
    std::fprintf(stderr, "usage: make_archive_seeds packet|tables|list OUTPUT_DIR\n");
    return 2;
  }
  char dir[] = "/tmp/orvel-seeds-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  g_dir = dir;
  g_out = argv[2];
  if (what == "packet") PacketSeeds();
  if (what == "tables") TablesSeeds();
  if (what == "list") ListSeeds();
  std::filesystem::remove_all(dir);
  return 0;
}
