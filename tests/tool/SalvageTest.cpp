// vrk salvage: a damaged archive gives back, in a new archive of its variant,
// every file whose own table entries and stored bytes survived, with its name
// where any survived, and says what was lost.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>

#include "VrkFixture.h"

namespace vrktest {
namespace {

// "(salvaged)/" and three groups of eight lower-case hex digits joined by '-'.
bool IsHashName(const std::string& name) {
  const std::string prefix = "(salvaged)/";
  if (name.size() != prefix.size() + 26 || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = 0; i < 26; ++i) {
    const char c = name[prefix.size() + i];
    const bool dash = i == 8 || i == 17;
    const bool digit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    if (dash ? c != '-' : !digit) return false;
  }
  return true;
}

uint32_t Word(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

std::string LowerName(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return s;
}

std::string Files(size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); }

class SalvageTest : public VrkTest {
 protected:
  void Pack(const std::vector<std::string>& extra = {}) {
    tree_ = MakeSampleTree(Path("src"));
    std::vector<std::string> args{"-C", "src", "."};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult c = Create(args);
    ASSERT_EQ(c.status, 0) << c.err;
  }
  void Flip(const std::string& file, size_t at, size_t count) const {
    std::string content = ReadFile(Path(file));
    ASSERT_LE(at + count, content.size());
    for (size_t i = 0; i < count; ++i) content[at + i] = static_cast<char>(content[at + i] ^ 0xA5);
    WriteFile(Path(file), content);
  }
  // The block table's records in the archive file: offset and end of each
  // (the name list's own entry, which points into the list file, left out).
  std::vector<std::pair<uint32_t, uint64_t>> Records() const {
    const std::string side = ReadFile(Path("pack.bhl"));
    std::vector<std::pair<uint32_t, uint64_t>> out;
    for (uint32_t i = 0; i < Word(side, 20); ++i) {
      const size_t at = Word(side, 16) + size_t{36} * i;
      const uint32_t offset = Word(side, at + 12);
      if (offset >= 60) out.emplace_back(offset, uint64_t{offset} + Word(side, at + 16) + 4);
    }
    return out;
  }
  // Salvages into new.vrk, checks the exit status and returns the files it
  // extracts to, relative path -> content.
  std::map<std::string, std::string> Salvage(int status, RunResult* run = nullptr) {
    RunResult r = Vrk({"salvage", Archive(), "new.vrk"});
    EXPECT_EQ(r.status, status) << r.out << r.err;
    if (run) *run = r;
    RunResult x = Vrk({"extract", "-C", "out", "new.vrk"});
    EXPECT_EQ(x.status, 0) << x.err;
    return ReadTree(Path("out"));
  }
  // Every recovered file is the one packed, under its name.
  void ExpectIdentical(const std::map<std::string, std::string>& got) const {
    for (const auto& [name, content] : got) {
      auto it = tree_.find(name);
      ASSERT_NE(it, tree_.end()) << name;
      EXPECT_EQ(content, it->second) << name;
    }
  }
  std::map<std::string, std::string> tree_;
};

TEST_P(SalvageTest, CutShortGivesBackEveryRecordInTheKeptBytes) {
  Pack();
  const uint64_t size = std::filesystem::file_size(Path(Archive()));
  const std::string whole = ReadFile(Path(Archive()));
  for (uint64_t kept : {size - 10, size / 2}) {
    SCOPED_TRACE(kept);
    WriteFile(Path(Archive()), whole.substr(0, kept));
    std::filesystem::remove_all(Path("out"));
    size_t inside = 0;
    for (const auto& record : Records()) inside += record.second <= kept;
    const RunResult list = Vrk({"list", Archive()});
    EXPECT_NE(list.err.find("try `vrk salvage pack.vrk NEW.vrk`"), std::string::npos) << list.err;
    RunResult r;
    const auto got = Salvage(1, &r);
    EXPECT_NE(r.out.find(Files(inside) + " recovered"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("past the end of the archive file"), std::string::npos) << r.err;
    ExpectIdentical(got);
    EXPECT_GE(got.size() + 1, inside);  // the tree record is no file on disk
  }
}

TEST_P(SalvageTest, DamagedTablesLoseOnlyTheEntriesHit) {
  for (bool encipher : {false, true}) {
    SCOPED_TRACE(encipher);
    std::filesystem::remove_all(Path("src"));
    std::filesystem::remove_all(Path("out"));
    std::vector<std::string> options{"--stamp", "3:7"};
    if (encipher) options.push_back("--encipher");
    Pack(options);
    const std::string side = ReadFile(Path("pack.bhl"));
    // Four bytes inside the third block entry's offset word: in an
    // enciphered table they spoil its whole 8-byte cipher block.
    Flip("pack.bhl", Word(side, 16) + 36 * 2 + 12, 4);
    // And the side header, whose copy in the archive file stands in for it.
    Flip("pack.bhl", 24, 4);
    EXPECT_NE(Vrk({"verify", Archive()}).err.find("vrk salvage"), std::string::npos);
    const auto got = Salvage(1);
    ExpectIdentical(got);
    // One or two entries hit; one of them may be the tree record or the list.
    EXPECT_GE(got.size() + 2, tree_.size());
    // The new archive keeps the stamp and the protection of the tables.
    const nlohmann::json info = Json({"info", "--json", "new.vrk"});
    EXPECT_EQ(info["stamp"]["high"], 3);
    EXPECT_EQ(info["stamp"]["low"], 7);
    EXPECT_EQ(info["base_version"], 7);
    EXPECT_EQ((info["flags"].get<unsigned>() & 2u) != 0, encipher);
    WriteFile(Path("pack.bhl"), side);
  }
}

TEST_P(SalvageTest, DamagedRecordLosesOnlyThatFile) {
  Pack();
  const auto records = Records();
  ASSERT_GE(records.size(), 3u);
  // The largest record, a file of the tree.
  auto largest = records.front();
  for (const auto& record : records)
    if (record.second - record.first > largest.second - largest.first) largest = record;
  Flip(Archive(), largest.first + 1, 2);
  const RunResult verify = Vrk({"verify", Archive()});
  EXPECT_NE(verify.err.find("try `vrk salvage pack.vrk NEW.vrk`"), std::string::npos) << verify.err;
  RunResult r;
  const auto got = Salvage(1, &r);
  EXPECT_NE(r.err.find("does not match its checksum"), std::string::npos) << r.err;
  ExpectIdentical(got);
  EXPECT_EQ(got.size() + 1, tree_.size());
}

TEST_P(SalvageTest, MissingOrDamagedNameListKeepsEveryNameFromTheTreeRecord) {
  Pack();
  const std::string list = ReadFile(Path("pack.lst"));
  Flip("pack.lst", 50, 4);
  EXPECT_NE(Vrk({"extract", "-C", "x", Archive()}).err.find("vrk salvage"), std::string::npos);
  auto got = Salvage(0);
  EXPECT_EQ(got, tree_);
  std::filesystem::remove(Path("pack.lst"));
  std::filesystem::remove_all(Path("out"));
  got = Salvage(0);
  EXPECT_EQ(got, tree_);
}

TEST_P(SalvageTest, WithoutTreeRecordNamesComeFromTheListElseFromTheHashes) {
  Pack({"--no-attributes"});
  Flip("pack.lst", 4, 2);  // the list's record, not its text
  auto got = Salvage(0);
  std::map<std::string, std::string> lower;
  for (const auto& [name, content] : tree_) lower[LowerName(name)] = content;
  for (const auto& [name, content] : got) EXPECT_EQ(content, lower[name]) << name;
  EXPECT_EQ(got.size(), tree_.size());

  std::filesystem::remove(Path("pack.lst"));
  std::filesystem::remove_all(Path("out"));
  RunResult r;
  got = Salvage(0, &r);
  EXPECT_EQ(got.size(), tree_.size());
  std::multiset<std::string> packed, salvaged;
  for (const auto& [name, content] : tree_) packed.insert(content);
  for (const auto& [name, content] : got) {
    EXPECT_TRUE(IsHashName(name)) << name;
    salvaged.insert(content);
  }
  EXPECT_EQ(salvaged, packed);
  EXPECT_NE(r.out.find(std::to_string(tree_.size()) + " files named by hashes"), std::string::npos)
      << r.out;
}

INSTANTIATE_TEST_SUITE_P(Advanced, SalvageTest, ::testing::Values(kAdvanced), VariantName);

// A basic archive keeps its tables behind the data area and no checksums:
// its files come back when their stored bytes decode to their size, and
// once the tables are cut off, the compressed ones are found by their
// streams. The tree here is text, stored compressed, so that damage to a
// file's bytes shows (bytes stored as they are cannot tell).
class BasicSalvageTest : public VrkTest {
 protected:
  struct Block {
    uint32_t offset, storedSize, hashIndex;
  };
  void Pack(const std::vector<std::string>& extra = {}) {
    tree_.clear();
    for (unsigned i = 0; i < 9; ++i) {
      const std::string name = (i % 3 ? "Docs/" : "") + std::string(i % 2 ? "Part" : "note") +
                               std::to_string(i) + ".txt";
      tree_[name] = TextBytes(2000 + 7000 * i, i);
      WriteFile(Path("src/" + name), tree_[name]);
    }
    std::vector<std::string> args{"-C", "src", "."};
    args.insert(args.end(), extra.begin(), extra.end());
    RunResult c = Create(args);
    ASSERT_EQ(c.status, 0) << c.err;
    whole_ = ReadFile(Path(Archive()));
  }
  // The block ring of the intact archive (plain, not scrambled).
  std::vector<Block> Blocks() const {
    std::vector<Block> out;
    for (uint32_t k = 0; k < Word(whole_, 28); ++k) {
      const size_t at = Word(whole_, 24) + size_t{28} * k;
      out.push_back(Block{Word(whole_, at), Word(whole_, at + 4), Word(whole_, at + 16)});
    }
    return out;
  }
  // The name list's entry: its data is always last in the data area.
  Block ListBlock() const {
    Block list{0, 0, 0};
    for (const Block& b : Blocks())
      if (b.offset > list.offset) list = b;
    return list;
  }
  void Flip(size_t at, size_t count) const {
    std::string bytes = ReadFile(Path(Archive()));
    for (size_t i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(bytes[at + i] ^ 0xA5);
    WriteFile(Path(Archive()), bytes);
  }
  std::map<std::string, std::string> Salvage(int status, RunResult* run = nullptr) {
    std::filesystem::remove_all(Path("out"));
    RunResult r = Vrk({"salvage", Archive(), "new.pak"});
    EXPECT_EQ(r.status, status) << r.out << r.err;
    if (run) *run = r;
    EXPECT_EQ(Json({"info", "--json", "new.pak"})["variant"], "basic");
    RunResult x = Vrk({"extract", "-C", "out", "new.pak"});
    EXPECT_EQ(x.status, 0) << x.err;
    return ReadTree(Path("out"));
  }
  // Files under their own names (as spelled, or lower-cased as the name
  // list keeps them) are the ones packed; the others (named by hashes or
  // place) each hold the bytes of a packed one. Returns how many came back.
  size_t ExpectIdentical(const std::map<std::string, std::string>& got) const {
    std::multiset<std::string> packed;
    std::map<std::string, std::string> known = tree_;
    for (const auto& [name, content] : tree_) {
      packed.insert(content);
      known[LowerName(name)] = content;
    }
    for (const auto& [name, content] : got) {
      auto it = known.find(name);
      if (it != known.end()) {
        EXPECT_EQ(content, it->second) << name;
      } else {
        EXPECT_EQ(name.compare(0, 11, "(salvaged)/"), 0) << name;
        EXPECT_EQ(packed.count(content), 1u) << name;
      }
    }
    return got.size();
  }
  std::map<std::string, std::string> tree_;
  std::string whole_;
};

TEST_P(BasicSalvageTest, CutShortGivesBackEveryFileInTheKeptBytes) {
  Pack();
  const std::vector<Block> blocks = Blocks();
  for (uint64_t kept : {whole_.size() - 10, whole_.size() / 2}) {
    SCOPED_TRACE(kept);
    WriteFile(Path(Archive()), whole_.substr(0, kept));
    const RunResult list = Vrk({"list", Archive()});
    EXPECT_NE(list.err.find("try `vrk salvage pack.pak NEW.pak`"), std::string::npos) << list.err;
    RunResult r;
    const auto got = Salvage(kept == whole_.size() - 10 ? 0 : 1, &r);
    ExpectIdentical(got);
    size_t expected = 0;
    for (const Block& b : blocks) expected += uint64_t{b.offset} + b.storedSize <= kept;
    // The name list and tree record are no files on disk.
    EXPECT_GE(got.size() + 2, expected) << r.out;
    EXPECT_GE(got.size(), expected > 2 ? expected - 2 : 0);
  }
}

TEST_P(BasicSalvageTest, DamagedTablesLoseOnlyTheEntriesHit) {
  for (bool scramble : {false, true}) {
    SCOPED_TRACE(scramble);
    std::filesystem::remove_all(Path("src"));
    std::vector<std::string> options{"--stamp", "3:7"};
    if (scramble) options.push_back("--scramble");
    Pack(options);
    // Four bytes of the third block entry's offset, and of one used hash
    // entry's block index.
    Flip(Word(whole_, 24) + 28 * 2, 4);
    const uint32_t hashes = Word(whole_, 40);
    for (uint32_t i = 0; i < Word(whole_, 44); ++i)
      if (Word(whole_, hashes + 20 * i + 12) == 5) Flip(hashes + 20 * i + 12, 4);
    EXPECT_NE(Vrk({"extract", "-C", "x", Archive()}).err.find("vrk salvage"), std::string::npos);
    const auto got = Salvage(1);
    // Two or three entries hit (scrambled, one spoiled word spoils the
    // next too); one may be the tree record or the name list.
    EXPECT_GE(ExpectIdentical(got) + 3, tree_.size());
    const nlohmann::json info = Json({"info", "--json", "new.pak"});
    EXPECT_EQ(info["stamp"]["high"], 3);
    EXPECT_EQ(info["stamp"]["low"], 7);
    EXPECT_EQ((info["flags"].get<unsigned>() & 2u) != 0, scramble);
  }
}

TEST_P(BasicSalvageTest, DamagedStoredBytesLoseOnlyThatFile) {
  Pack();
  // The largest file's stream: its first instruction and the byte after.
  Block largest{0, 0, 0};
  for (const Block& b : Blocks())
    if (b.storedSize > largest.storedSize) largest = b;
  Flip(largest.offset, 2);
  RunResult r;
  const auto got = Salvage(1, &r);
  EXPECT_NE(r.err.find("does not decode to its size"), std::string::npos) << r.err;
  EXPECT_EQ(ExpectIdentical(got) + 1, tree_.size());
}

TEST_P(BasicSalvageTest, DamagedOrMissingNameListKeepsEveryName) {
  Pack();
  const Block list = ListBlock();
  Flip(list.offset, 4);
  EXPECT_EQ(Salvage(0), tree_);
  // Its hash entry gone as well: the tree record still names every file.
  WriteFile(Path(Archive()), whole_);
  Flip(Word(whole_, 40) + 20 * list.hashIndex, 20);
  EXPECT_EQ(Salvage(0), tree_);
}

TEST_P(BasicSalvageTest, WithoutTreeRecordNamesComeFromTheListElseFromTheHashes) {
  Pack({"--no-attributes"});
  const Block list = ListBlock();
  // Damage to the end of the list's stream leaves the lines before it.
  Flip(list.offset + list.storedSize - 6, 2);
  auto got = Salvage(0);
  EXPECT_EQ(ExpectIdentical(got), tree_.size());
  size_t listed = 0;
  for (const auto& [name, content] : got) listed += !IsHashName(name);
  EXPECT_GE(listed, tree_.size() / 2);
  WriteFile(Path(Archive()), whole_);
  Flip(list.offset, 4);
  RunResult r;
  got = Salvage(0, &r);
  EXPECT_EQ(ExpectIdentical(got), tree_.size());
  for (const auto& [name, content] : got) EXPECT_TRUE(IsHashName(name)) << name;
  EXPECT_NE(r.out.find(Files(tree_.size()) + " named by hashes"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Basic, BasicSalvageTest, ::testing::Values(kBasic), VariantName);

}  // namespace
}  // namespace vrktest
