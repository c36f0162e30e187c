// patch create, extend, apply, clean and info: a copy of an archive brought
// up to the original's level by a patch holds the same files; missing or
// damaged patch data is named, and refused before anything is applied.
#include "VrkFixture.h"
#include "common/FaultServer.h"
#include "common/NginxServer.h"

#include <filesystem>
#include <numeric>
#include <set>
#include <tuple>

namespace vrktest {
namespace {

class PatchTest : public VrkTest {
 protected:
  // data.vrk at level 1 holding the sample tree, and a copy of it in copy/.
  void SetUp() override {
    MakeSampleTree(Path("src"));
    RunResult c = Vrk({"create", "--stamp", "0:1", "data.vrk", "-C", "src", "."});
    ASSERT_EQ(c.status, 0) << c.err;
    std::filesystem::create_directories(Path("copy"));
    for (const std::string f : {"data.vrk", "data.bhl", "data.lst"})
      std::filesystem::copy_file(Path(f), Path("copy/" + f));
  }

  // Raises data.vrk's stamp to `level` and adds `files` (name -> content).
  void AddAtLevel(unsigned level, const std::map<std::string, std::string>& files,
                  const std::vector<std::string>& options = {}) {
    ASSERT_EQ(Vrk({"stamp", "data.vrk", "0:" + std::to_string(level)}).status, 0);
    const std::string dir = "new" + std::to_string(level);
    std::vector<std::string> args{"add", "data.vrk", "-C", dir};
    args.insert(args.end(), options.begin(), options.end());
    for (const auto& [name, content] : files) {
      WriteFile(Path(dir + "/" + name), content);
      args.push_back(name);
    }
    RunResult r = Vrk(args);
    ASSERT_EQ(r.status, 0) << r.err;
  }

  // Copies data.vrk as it is now into `dir`.
  void CopyArchive(const std::string& from, const std::string& dir) {
    std::filesystem::create_directories(Path(dir));
    for (const std::string f : {"data.vrk", "data.bhl", "data.lst"})
      std::filesystem::copy_file(Path(from + f), Path(dir + "/" + f));
  }

  // The bytes of the three files of the archive in `dir`.
  std::string ArchiveBytes(const std::string& dir) const {
    std::string all;
    for (const std::string f : {"data.vrk", "data.bhl", "data.lst"})
      all += ReadFile(Path(dir + "/" + f)) + "|";
    return all;
  }

  // The archive's files by name as `list --json` describes them.
  std::map<std::string, nlohmann::json> Listing(const std::string& archive) const {
    std::map<std::string, nlohmann::json> files;
    for (const auto& f : Json({"list", archive, "--json"})) files[f["name"]] = f;
    return files;
  }
};

TEST_P(PatchTest, CopyCatchesUpThroughAnExtendedPatch) {
  // readme.txt is replaced at levels 2 and 5, maps/town.dat is new at 2 and
  // replaced at 6 (after the patch was made), level 3 is stored as it is.
  AddAtLevel(2, {{"readme.txt", TextBytes(4000, 20)}, {"maps/town.dat", TextBytes(9000, 21)}});
  AddAtLevel(3, {{"raw/stored.txt", TextBytes(6000, 22)}, {"raw/empty.dat", ""}}, {"--store"});
  AddAtLevel(5, {{"readme.txt", RandomBytes(2500, 23)}, {"bin/noise5.bin", RandomBytes(7000, 24)}});
  RunResult made = Vrk({"patch", "create", "data.vrk"});
  ASSERT_EQ(made.status, 0) << made.err;
  // Each add rewrote the tree record, which travels as one more file at
  // the latest level.
  EXPECT_EQ(made.out, "data.vrx: 6 files at levels 2-5 in 3 block files\n");

  AddAtLevel(6, {{"maps/town.dat", TextBytes(500, 25)}, {"late.txt", TextBytes(100, 26)}});
  RunResult extended = Vrk({"patch", "extend", "data.vrk"});
  ASSERT_EQ(extended.status, 0) << extended.err;
  EXPECT_EQ(extended.out, "data.vrx: 3 files added, now 9 files at levels 2-6\n");

  RunResult applied = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"});
  ASSERT_EQ(applied.status, 0) << applied.err;
  // Patches carry name hashes only: the five new files are found by name but
  // stay out of the copy's name list.
  EXPECT_EQ(applied.out,
            "copy/data.vrk: brought from level 1 to level 6, 9 files written\n"
            "copy/data.vrk: 5 files are not in its name list, as a patch carries no names (cat "
            "and extract still find files by name)\n");

  std::vector<std::string> extract{"extract", "copy/data.vrk", "-C", "copy-out"};
  for (const auto& [name, facts] : Listing("data.vrk")) extract.push_back(name);
  ASSERT_EQ(Vrk(extract).status, 0);
  ASSERT_EQ(Vrk({"extract", "data.vrk", "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("copy-out")), ReadTree(Path("out")));
  // Stored forms and versions travel too, not just the bytes.
  const auto original = Listing("data.vrk");
  for (const auto& [name, facts] : Listing("copy/data.vrk")) EXPECT_EQ(facts, original.at(name));
  EXPECT_EQ(Json({"info", "copy/data.vrk", "--json"})["stamp"],
            Json({"info", "data.vrk", "--json"})["stamp"]);

  RunResult again = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"});
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.out.find("already at level 6"), std::string::npos) << again.out;
}

// A copy already at a level of the patch takes only the levels above it and
// needs only their block files.
TEST_P(PatchTest, CopyPartWayUpTakesOnlyTheHigherLevels) {
  AddAtLevel(2, {{"a.txt", TextBytes(3000, 40)}});
  ASSERT_EQ(Vrk({"patch", "create", "data.vrk"}).status, 0);
  ASSERT_EQ(Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"}).status, 0);

  AddAtLevel(4, {{"b.txt", TextBytes(2000, 41)}});
  EXPECT_EQ(Vrk({"patch", "extend", "data.vrk"}).out,
            "data.vrx: 2 files added, now 4 files at levels 2-4\n");
  EXPECT_EQ(Vrk({"patch", "extend", "data.vrk"}).out,
            "data.vrx: no file is newer than level 4; unchanged\n");

  std::filesystem::remove(Path("data_00000002.pb"));
  RunResult applied = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx", "-q"});
  ASSERT_EQ(applied.status, 0) << applied.err;
  EXPECT_EQ(Vrk({"cat", "copy/data.vrk", "b.txt"}).out, TextBytes(2000, 41));
  EXPECT_EQ(Json({"info", "copy/data.vrk", "--json"})["stamp"]["low"], 4);
}

// A copy that holds every file of the patch under a lower stamp only has
// its stamp raised.
TEST_P(PatchTest, CopyHoldingEveryFileHasItsStampRaised) {
  AddAtLevel(2, {{"a.txt", TextBytes(100, 50)}});
  ASSERT_EQ(Vrk({"stamp", "data.vrk", "0:3"}).status, 0);
  ASSERT_EQ(Vrk({"patch", "create", "data.vrk", "-q"}).status, 0);
  ASSERT_EQ(Vrk({"patch", "apply", "copy/data.vrk", "data.vrx", "-q"}).status, 0);
  ASSERT_EQ(Vrk({"stamp", "copy/data.vrk", "0:2"}).status, 0);
  RunResult r = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "copy/data.vrk: holds every file of data.vrx already; stamp raised from level 2 to "
            "level 3\n");
}

TEST_P(PatchTest, InfoCountsAndFailuresNameTheirFile) {
  RunResult nothing = Vrk({"patch", "create", "data.vrk"});
  EXPECT_EQ(nothing.out, "data.vrk: no file is newer than base version 1; no patch written\n");
  EXPECT_FALSE(Exists(Path("data.vrx")));

  AddAtLevel(2, {{"a.txt", TextBytes(3000, 30)}});
  AddAtLevel(3, {{"b.bin", RandomBytes(4000, 31)}, {"c.txt", TextBytes(5000, 32)}});
  ASSERT_EQ(Vrk({"patch", "create", "data.vrk", "-q"}).status, 0);

  nlohmann::json info = Json({"patch", "info", "data.vrx", "--json", "--archive", "data.vrk"});
  EXPECT_EQ(info["records"], 4);  // with the tree record, rewritten at level 3
  EXPECT_EQ(info["stamp"]["low"], 3);
  EXPECT_TRUE(info["intact"]);
  ASSERT_EQ(info["levels"].size(), 2u);
  for (const auto& [i, level, records] : {std::tuple{0, 2, 1}, std::tuple{1, 3, 3}}) {
    const nlohmann::json& l = info["levels"][i];
    EXPECT_EQ(l["level"], level);
    EXPECT_EQ(l["records"], records);
    EXPECT_EQ(l["size"], ReadFile(Path(l["block_file"].get<std::string>())).size());
  }
  std::set<std::string> names;
  for (const auto& f : info["files"]) names.insert(f["name"].get<std::string>());
  EXPECT_EQ(names, (std::set<std::string>{"(attributes)", "a.txt", "b.bin", "c.txt"}));

  // One flipped byte in the level-3 block file: info and apply name it, and
  // the copy stays at level 1.
  std::string block = ReadFile(Path("data_00000003.pb"));
  block[block.size() / 2] ^= 0x55;
  WriteFile(Path("data_00000003.pb"), block);
  RunResult damaged = Vrk({"patch", "info", "data.vrx", "--json"});
  EXPECT_EQ(damaged.status, kWarnings);
  nlohmann::json afterDamage = nlohmann::json::parse(damaged.out);
  EXPECT_FALSE(afterDamage["intact"]);
  EXPECT_EQ(afterDamage["levels"][1]["damaged"], 1);
  RunResult refused = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"});
  EXPECT_EQ(refused.status, kFatal);
  EXPECT_NE(refused.err.find("vrk: data_00000003.pb: entry at offset "), std::string::npos)
      << refused.err;
  EXPECT_EQ(Json({"info", "copy/data.vrk", "--json"})["stamp"]["low"], 1);

  RunResult cleaned = Vrk({"patch", "clean", "data.vrk"});
  EXPECT_EQ(cleaned.out, "data.vrk: 2 block files deleted\n");
  EXPECT_EQ(Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"}).err,
            "vrk: data_00000002.pb: block file is missing\n"
            "vrk: data_00000003.pb: block file is missing\n");

  std::string patch = ReadFile(Path("data.vrx"));
  WriteFile(Path("short.vrx"), patch.substr(0, patch.size() - 1));
  WriteFile(Path("b/f.txt"), "x");
  ASSERT_EQ(Vrk({"create", "b.pak", "--basic", "b"}).status, 0);
  const struct {
    std::vector<std::string> args;
    std::string err;
  } failures[] = {
      {{"patch", "apply", "copy/data.vrk", "none.vrx"}, "vrk: none.vrx: patch file is missing\n"},
      {{"patch", "extend", "copy/data.vrk"}, "vrk: copy/data.vrx: patch file is missing\n"},
      {{"patch", "info", "short.vrx"}, "vrk: short.vrx: not a valid patch file ("},
      {{"patch", "create", "b.pak"}, "vrk: b.pak: not an advanced archive"},
  };
  for (const auto& f : failures) {
    RunResult r = Vrk(f.args);
    EXPECT_EQ(r.status, kFatal) << ::testing::PrintToString(f.args);
    EXPECT_EQ(r.err.compare(0, f.err.size(), f.err), 0) << r.err;
  }
}

// Files kept under aliases travel as the files they are stored as, with the
// record that names them: the copy extracts them under their names.
TEST_P(PatchTest, AliasesTravelWithTheRecord) {
  AddAtLevel(2, {{"Case.txt", "upper"}, {"case.txt", "lower"}, {"line\nfeed", "lf"}});
  ASSERT_EQ(Vrk({"patch", "create", "data.vrk", "-q"}).status, 0);
  nlohmann::json info = Json({"patch", "info", "data.vrx", "--json", "--archive", "data.vrk"});
  std::set<std::string> names;
  for (const auto& f : info["files"]) names.insert(f["name"].get<std::string>());
  EXPECT_EQ(names, (std::set<std::string>{"(attributes)", "(alias)/1", "(alias)/2", "case.txt"}));
  RunResult applied = Vrk({"patch", "apply", "copy/data.vrk", "data.vrx"});
  ASSERT_EQ(applied.status, 0) << applied.err;
  ASSERT_EQ(Vrk({"extract", "copy/data.vrk", "-C", "copy-out"}).status, 0);
  ASSERT_EQ(Vrk({"extract", "data.vrk", "-C", "out"}).status, 0);
  EXPECT_EQ(ReadTree(Path("copy-out")), ReadTree(Path("out")));
  EXPECT_EQ(ReadFile(Path("copy-out/case.txt")), "lower");
  EXPECT_EQ(ReadFile(Path("copy-out/line\nfeed")), "lf");
}

// A patch at a URL: the copy ends as the same copy patched from the disk,
// and only the patch file and the entries above the copy's level travel.
TEST_P(PatchTest, FromAUrlTheCopyEndsAsFromTheDiskAndFetchesOnlyItsLevels) {
  AddAtLevel(2, {{"a.bin", RandomBytes(6000, 60)}, {"b.txt", TextBytes(9000, 61)}});
  AddAtLevel(3, {{"c.bin", RandomBytes(5000, 62)}, {"e.bin", RandomBytes(3000, 65)}});
  CopyArchive("", "at3");
  AddAtLevel(4, {{"a.bin", RandomBytes(7000, 63)}, {"d.bin", RandomBytes(8000, 64)}});
  CopyArchive("", "at4");
  ASSERT_EQ(Vrk({"patch", "create", "data.vrk", "-q"}).status, 0);
  orvel_test::NginxServer nginx(Path(""));
  if (!nginx.Running()) GTEST_SKIP() << nginx.Problem();
  const nlohmann::json info = Json({"patch", "info", "data.vrx", "--json"});
  const uint64_t patchSize = ReadFile(Path("data.vrx")).size();

  const struct {
    std::string copy;
    unsigned level;
    std::string query;
  } copies[] = {{"copy", 1, ""}, {"at3", 3, "?token=secret"}, {"at4", 4, ""}};
  for (const auto& c : copies) {
    SCOPED_TRACE(c.copy);
    CopyArchive(c.copy + "/", c.copy + "-disk");
    CopyArchive(c.copy + "/", c.copy + "-url");
    RunResult disk = Vrk({"patch", "apply", c.copy + "-disk/data.vrk", "data.vrx", "-q"});
    ASSERT_EQ(disk.status, 0) << disk.err;
    const uint64_t before = nginx.BodyBytesSent();
    RunResult url =
        Vrk({"patch", "apply", c.copy + "-url/data.vrk", nginx.Url("data.vrx") + c.query});
    ASSERT_EQ(url.status, 0) << url.err;
    const uint64_t fetched = nginx.BodyBytesSent() - before;
    EXPECT_EQ(ArchiveBytes(c.copy + "-url"), ArchiveBytes(c.copy + "-disk"));
    EXPECT_EQ(url.out.find("secret"), std::string::npos) << url.out;

    uint64_t needed = 0;
    for (const auto& f : info["files"])
      if (f["level"].get<unsigned>() > c.level) needed += f["stored_size"].get<uint64_t>();
    const uint64_t bound = patchSize + needed;
    EXPECT_LE(fetched, bound + bound / 20) << "needed " << needed;
    RecordProperty("fetched_from_level_" + std::to_string(c.level),
                   std::to_string(fetched) + " of bound " + std::to_string(bound));
  }
  // The query went with the block files too.
  EXPECT_NE(nginx.AccessLog().find("data_00000004.pb?token=secret"), std::string::npos);

  // patch info reads the same patch from the URL, its block files checked there.
  nlohmann::json remote = Json({"patch", "info", nginx.Url("data.vrx"), "--json"});
  EXPECT_EQ(remote["intact"], true);
  EXPECT_EQ(remote["files"], info["files"]);
  EXPECT_EQ(remote["levels"][0]["block_file"], nginx.Url("data_00000002.pb"));

  // A block file missing on the server is named before anything is written.
  std::filesystem::remove(Path("data_00000003.pb"));
  CopyArchive("copy/", "missing");
  const std::string untouched = ArchiveBytes("missing");
  RunResult missing = Vrk({"patch", "apply", "missing/data.vrk", nginx.Url("data.vrx?token=secret")});
  EXPECT_EQ(missing.status, kFatal);
  EXPECT_EQ(missing.err, "vrk: " + nginx.Url("data_00000003.pb?...") + ": block file is missing\n");
  EXPECT_EQ(ArchiveBytes("missing"), untouched);

  // The copy is written in place: one at a URL is refused before anything.
  RunResult remoteCopy = Vrk({"patch", "apply", nginx.Url("at4/data.vrk"), "data.vrx"});
  EXPECT_EQ(remoteCopy.status, kFatal);
  EXPECT_EQ(remoteCopy.err, "vrk: " + nginx.Url("at4/data.vrk") +
                                ": archives at a URL are read-only; patch a copy on disk\n");
}

// A block file replaced on the server between the requests that read it
// fails the patch; the copy is as it was.
TEST_P(PatchTest, FromAUrlABlockFileReplacedMeanwhileFailsCleanly) {
  AddAtLevel(2, {{"a.bin", RandomBytes(6000, 70)}});
  AddAtLevel(3, {{"b.bin", RandomBytes(5000, 71)}});
  ASSERT_EQ(Vrk({"patch", "create", "data.vrk", "-q"}).status, 0);
  orvel_test::FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  for (const std::string f : {"data.vrx", "data_00000002.pb", "data_00000003.pb"})
    server.Put(f, ReadFile(Path(f)));
  const std::string untouched = ArchiveBytes("copy");
  const std::string block = server.Url("data_00000002.pb");
  const struct {
    int requests;  // answered before the block file is replaced
    std::string err;
  } cases[] = {
      // Before vrk looks at it, or before the library opens it: its bytes
      // are not the patch's.
      {0, "vrk: " + block + ": checksum mismatch: the data is damaged"},
      {1, "vrk: " + block + ": checksum mismatch: the data is damaged"},
      // After the library opened it, before it reads the entry.
      {2, "vrk: " + block + ": the block file changed on the server while it was read; apply again"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requests);
    std::string changed = ReadFile(Path("data_00000002.pb"));
    changed[changed.size() / 2] ^= 0x20;
    server.ReplaceAfter("data_00000002.pb", changed, c.requests);
    RunResult r = Vrk({"patch", "apply", "copy/data.vrk", server.Url("data.vrx")});
    EXPECT_EQ(r.status, kFatal) << r.out;
    EXPECT_EQ(r.err, c.err + " (copy/data.vrk stays at level 1)\n");
    EXPECT_EQ(ArchiveBytes("copy"), untouched);
    server.Put("data_00000002.pb", ReadFile(Path("data_00000002.pb")));
  }
  // Put back, it applies; --header goes with every request, never shown.
  server.ClearLog();
  RunResult healed = Vrk({"patch", "apply", "copy/data.vrk", server.Url("data.vrx"), "--header",
                          "Authorization: Bearer t0ken"});
  EXPECT_EQ(healed.status, 0) << healed.err;
  EXPECT_EQ((healed.out + healed.err).find("t0ken"), std::string::npos);
  EXPECT_EQ(Json({"info", "copy/data.vrk", "--json"})["stamp"]["low"], 3);
  for (const auto& request : server.Log()) EXPECT_EQ(request.authorization, "Bearer t0ken");
}

INSTANTIATE_TEST_SUITE_P(Advanced, PatchTest, ::testing::Values(kAdvanced), VariantName);

}  // namespace
}  // namespace vrktest
