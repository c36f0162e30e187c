// patch create, extend, apply, clean and info: a copy of an archive brought
// up to the original's level by a patch holds the same files; missing or
// damaged patch data is named, and refused before anything is applied.
#include "VrkFixture.h"

#include <filesystem>
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

INSTANTIATE_TEST_SUITE_P(Advanced, PatchTest, ::testing::Values(kAdvanced), VariantName);

}  // namespace
}  // namespace vrktest
