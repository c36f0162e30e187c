// Every kind of thing a tree holds comes back as it was: names the archive
// cannot hold (kept under aliases), hard links, FIFOs, devices and owners,
// through the tree record's version 2; archives with a version 1 record
// read as before.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "HostileTree.h"
#include "VrkFixture.h"
#include "record/RawRecord.h"
#include "tree/RecordCodec.h"

namespace vrktest {
namespace {

namespace fs = std::filesystem;

bool Root() { return geteuid() == 0; }

// One line for each entry below `dir`: its name, type, mode, owner, time,
// link target or device number, and the first name of the inode it shares.
std::vector<std::string> TreeListing(const std::string& dir) {
  std::vector<std::string> lines;
  std::map<std::pair<dev_t, ino_t>, std::string> inodes;
  std::vector<fs::path> paths;
  for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it)
    paths.push_back(it->path());
  std::sort(paths.begin(), paths.end());
  for (const fs::path& p : paths) {
    struct stat st {};
    EXPECT_EQ(lstat(p.c_str(), &st), 0) << p;
    const std::string name = p.lexically_relative(dir).string();
    char line[256];
    std::snprintf(line, sizeof line, " %o %o %u:%u %lld.%09ld", st.st_mode & S_IFMT,
                  st.st_mode & 07777, st.st_uid, st.st_gid, static_cast<long long>(st.st_mtim.tv_sec),
                  st.st_mtim.tv_nsec);
    std::string entry = name + line;
    if (S_ISLNK(st.st_mode)) entry += " -> " + fs::read_symlink(p).string();
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
      entry += " device " + std::to_string(major(st.st_rdev)) + "," + std::to_string(minor(st.st_rdev));
    if (!S_ISDIR(st.st_mode)) {
      auto [first, fresh] = inodes.emplace(std::make_pair(st.st_dev, st.st_ino), name);
      if (!fresh) entry += " same as " + first->second;
    }
    lines.push_back(entry);
  }
  return lines;
}

// What diff -r --no-dereference finds between two trees, but for the FIFOs
// and devices it cannot compare (and says so).
std::string Differences(const std::string& a, const std::string& b) {
  const std::string command = "diff -r --no-dereference '" + a + "' '" + b + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out, line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    line += static_cast<char>(c);
    if (c != '\n') continue;
    const bool special = line.find(" is a fifo while file ") != std::string::npos ||
                         line.find(" is a character special file while ") != std::string::npos;
    if (!special) out += line;
    line.clear();
  }
  pclose(pipe);
  return out + line;
}

class WholeTreeTest : public VrkTest {
 protected:
  // Names that differ only in case, with a line feed, carriage return and
  // backslash, too long for the archive or reserved; three names of one
  // file; a FIFO; a link to an absolute path; as root also files of other
  // owners (by number alone and by a name this system has), a set-uid file
  // and a device.
  void MakeTree(const std::string& top) {
    const std::string d = top + "/d/";
    WriteFile(d + "A.txt", "upper");
    WriteFile(d + "a.txt", "lower");
    WriteFile(d + "Index.html", "Index");
    WriteFile(d + "index.html", "index");
    WriteFile(d + "line\nfeed", "lf");
    WriteFile(d + "carriage\rreturn", "cr");
    WriteFile(d + "back\\slash", "bs");
    WriteFile(d + std::string(200, 'x') + "/" + std::string(100, 'y'), "long");
    WriteFile(top + "/(alias)/1", "reserved");
    WriteFile(top + "/(LISTFILE)", "reserved too");
    WriteFile(d + "hard/one", "shared data");
    ASSERT_EQ(link((d + "hard/one").c_str(), (d + "hard/two").c_str()), 0);
    ASSERT_EQ(link((d + "hard/one").c_str(), (d + "three").c_str()), 0);
    ASSERT_EQ(mkfifo((d + "fifo").c_str(), 0640), 0);
    ASSERT_EQ(symlink("/etc/passwd", (d + "abs").c_str()), 0);
    if (!Root()) return;
    WriteFile(d + "owned", "numbers");
    ASSERT_EQ(chown((d + "owned").c_str(), 1234, 2345), 0);
    if (const passwd* pw = getpwnam("daemon")) {
      WriteFile(d + "daemon", "named");
      ASSERT_EQ(chown((d + "daemon").c_str(), pw->pw_uid, pw->pw_gid), 0);
    }
    WriteFile(d + "setuid", "#!/bin/sh\n");
    ASSERT_EQ(chown((d + "setuid").c_str(), 1234, 2345), 0);
    ASSERT_EQ(chmod((d + "setuid").c_str(), 04755), 0);
    ASSERT_EQ(mknod((d + "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  }

  std::string Stored(const std::string& name) {
    const nlohmann::json list = Json({"list", "--json", Archive(), name});
    return list.size() == 1 && list[0].contains("stored_as") ? list[0]["stored_as"].get<std::string>()
                                                             : "";
  }
};

TEST_P(WholeTreeTest, EveryKindComesBackIdentical) {
  MakeTree(Path("src"));
  RunResult c = Create({"-C", "src", "."});
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(c.err, "");
  RunResult x = Vrk({"extract", Archive(), "-C", "out"});
  EXPECT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(x.err, "");
  EXPECT_EQ(Differences(Path("src"), Path("out")), "");
  EXPECT_EQ(TreeListing(Path("out")), TreeListing(Path("src")));

  EXPECT_EQ(Vrk({"cat", Archive(), "d/a.txt"}).out, "lower");
  EXPECT_EQ(Vrk({"cat", Archive(), "d/A.txt"}).out, "upper");
  EXPECT_EQ(Vrk({"cat", Archive(), "d/three"}).out, "shared data");
  const std::string listing = Vrk({"list", "-l", Archive()}).out;
  EXPECT_NE(listing.find("d/hard/two link to d/hard/one\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("prw-r-----"), std::string::npos) << listing;
  // Each alias once; the first of the clashing names keeps its own.
  std::set<std::string> aliases;
  const std::vector<std::string> aliased{
      "d/a.txt",       "d/index.html", "d/line\nfeed", "d/carriage\rreturn", "d/back\\slash",
      "(alias)/1",     "(LISTFILE)",   "d/" + std::string(200, 'x') + "/" + std::string(100, 'y')};
  for (const std::string& name : aliased)
    EXPECT_TRUE(aliases.insert(Stored(name)).second) << name;
  EXPECT_EQ(aliases.count(""), 0u);
  EXPECT_EQ(Stored("d/A.txt"), "");

  // A hard link extracted without its holder gets the data itself.
  RunResult alone = Vrk({"extract", Archive(), "d/hard/two", "-C", "alone"});
  EXPECT_EQ(alone.status, 0) << alone.err;
  EXPECT_EQ(ReadFile(Path("alone/d/hard/two")), "shared data");
}

// A backslash in a file's name is its own wherever the file is, also at the
// top and with --backslash separators: the file is stored under an alias
// and the record keeps its name joined with '/'. A directory at the top
// whose name holds one cannot be told from a split name: its mode and time
// are not kept, its files are.
TEST_P(WholeTreeTest, BackslashesAtTheTopAndUnderBackslashSeparators) {
  WriteFile(Path("src/back\\slash"), "top");
  WriteFile(Path("src/dir\\name/inner"), "inner");
  ASSERT_EQ(link(Path("src/back\\slash").c_str(), Path("src/hard\\link").c_str()), 0);
  WriteFile(Path("src/Dir/A.txt"), "upper");
  WriteFile(Path("src/Dir/a.txt"), "lower");
  for (const bool separators : {false, true}) {
    SCOPED_TRACE(separators ? "--backslash" : "'/' separators");
    const std::string out = separators ? "out-bs" : "out";
    std::vector<std::string> args{"-C", "src", "."};
    if (separators) args.insert(args.begin(), "--backslash");
    RunResult c = Create(args, Named(out));
    EXPECT_EQ(c.status, kWarnings) << c.err;
    EXPECT_NE(c.err.find("dir\\name: a backslash"), std::string::npos) << c.err;
    RunResult x = Vrk({"extract", Named(out), "-C", out});
    EXPECT_EQ(x.status, 0) << x.err;
    for (const auto& [name, data] : std::map<std::string, std::string>{
             {"back\\slash", "top"}, {"hard\\link", "top"}, {"dir\\name/inner", "inner"},
             {"Dir/A.txt", "upper"}, {"Dir/a.txt", "lower"}})
      EXPECT_EQ(ReadFile(Path(out + "/" + name)), data) << name;
    EXPECT_FALSE(Exists(Path(out + "/back"))) << "a backslash taken for a separator";
  }
}

TEST_P(WholeTreeTest, OwnersByNameByNumberOrNotAtAll) {
  if (!Root()) GTEST_SKIP() << "owners are restored only by root";
  const passwd* pw = getpwnam("daemon");
  const group* gr = getgrnam("daemon");
  if (!pw || !gr) GTEST_SKIP() << "no user and group 'daemon' here";
  WriteFile(Path("src/setuid"), "x");
  ASSERT_EQ(chmod(Path("src/setuid").c_str(), 04755), 0);
  ASSERT_EQ(Create({"-C", "src", "."}).status, 0);
  // A record from a host where "daemon" had the numbers 4321.
  vrk::TreeRecord record;
  vrk::TreeEntry e = vrk::TreeEntry::File("setuid");
  e.mode = 04755;
  e.owner = record.AddOwner({4321, 4321, "daemon", "daemon"});
  record.Put(e);
  WriteRecordBytes(Path(Archive()), vrk::EncodeTreeRecord(record));
  struct Case {
    const char* option;
    uid_t uid;
    gid_t gid;
    mode_t mode;
  };
  const mode_t umasked = 0755 & ~umask(022);
  umask(022);
  const Case cases[] = {{"", pw->pw_uid, gr->gr_gid, 04755},
                        {"--numeric-owner", 4321, 4321, 04755},
                        {"--no-same-owner", 0, 0, umasked}};
  for (const Case& c : cases) {
    const std::string out = std::string("out") + c.option;
    std::vector<std::string> args{"extract", Archive(), "-C", out};
    if (*c.option) args.push_back(c.option);
    RunResult x = Vrk(args);
    EXPECT_EQ(x.status, 0) << x.err;
    struct stat st {};
    ASSERT_EQ(lstat(Path(out + "/setuid").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.uid) << c.option;
    EXPECT_EQ(st.st_gid, c.gid) << c.option;
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.option;  // set-uid kept after chown
  }
}

TEST_P(WholeTreeTest, AddKeepsAliasesUniqueAndDeleteKeepsHardLinkData) {
  WriteFile(Path("one/A.txt"), "1");
  WriteFile(Path("one/a.txt"), "2");
  WriteFile(Path("one/h1"), "linked");
  ASSERT_EQ(link(Path("one/h1").c_str(), Path("one/h2").c_str()), 0);
  ASSERT_EQ(link(Path("one/h1").c_str(), Path("one/h3").c_str()), 0);
  ASSERT_EQ(Create({"-C", "one", "."}).status, 0);
  WriteFile(Path("two/B.txt"), "3");
  WriteFile(Path("two/b.txt"), "4");
  WriteFile(Path("two/a.txt"), "5");  // "A.txt" keeps the archive's name
  RunResult add = Vrk({"add", Archive(), "-C", "two", "."});
  ASSERT_EQ(add.status, 0) << add.err;
  EXPECT_EQ(add.err, "");
  const std::string first = Stored("a.txt");
  EXPECT_EQ(first, "(alias)/1");
  EXPECT_EQ(Stored("b.txt"), "(alias)/2");
  EXPECT_EQ(Stored("A.txt"), "");
  EXPECT_EQ(Vrk({"cat", Archive(), "a.txt"}).out, "5");
  EXPECT_EQ(Vrk({"cat", Archive(), "A.txt"}).out, "1");
  EXPECT_EQ(Vrk({"cat", Archive(), "b.txt"}).out, "4");

  RunResult del = Vrk({"delete", Archive(), "h1"});
  ASSERT_EQ(del.status, 0) << del.err;
  const std::string listing = Vrk({"list", "-l", Archive()}).out;
  EXPECT_NE(listing.find(" h2\n"), std::string::npos) << listing;
  EXPECT_NE(listing.find("h3 link to h2\n"), std::string::npos) << listing;
  ASSERT_EQ(Vrk({"extract", Archive(), "-C", "out"}).status, 0);
  EXPECT_EQ(ReadFile(Path("out/h2")), "linked");
  EXPECT_EQ(ReadFile(Path("out/h3")), "linked");
  EXPECT_FALSE(Exists(Path("out/h1")));
  struct stat two {}, three {};
  ASSERT_EQ(lstat(Path("out/h2").c_str(), &two), 0);
  ASSERT_EQ(lstat(Path("out/h3").c_str(), &three), 0);
  EXPECT_EQ(two.st_ino, three.st_ino);
  // Deleting the last name of the data deletes it.
  ASSERT_EQ(Vrk({"delete", Archive(), "h2", "h3"}).status, 0);
  EXPECT_EQ(Vrk({"list", Archive()}).out, "A.txt\na.txt\nB.txt\nb.txt\n");
}

// An archive whose record vrk wrote before version 2 lists and extracts as
// it did: names as spelled, modes and times.
TEST_P(WholeTreeTest, Version1RecordsReadAsBefore) {
  WriteFile(Path("src/docs/read.me"), "text");
  ASSERT_EQ(Create({"--no-attributes", "-C", "src", "."}).status, 0);
  const std::vector<RawEntry> v1{{'d', 0, "Docs", ""}, {'f', 0, "Docs/Read.ME", ""},
                                 {'l', 5, "Link", "Read.ME"}};
  WriteRecordBytes(Path(Archive()), RawRecord(v1.size(), [&v1](size_t i) { return v1[i]; }));
  RunResult list = Vrk({"list", "-l", Archive()});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("-rw-r--r--          4"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("Docs/Link -> Read.ME"), std::string::npos) << list.out;
  RunResult x = Vrk({"extract", Archive(), "-C", "out"});
  EXPECT_EQ(x.status, 0) << x.err;
  EXPECT_EQ(ReadFile(Path("out/Docs/Read.ME")), "text");
  struct stat st {};
  ASSERT_EQ(lstat(Path("out/Docs/Read.ME").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 0);
  EXPECT_EQ(fs::read_symlink(Path("out/Docs/Link")).string(), "Read.ME");
}

VRK_BOTH_VARIANTS(WholeTreeTest);

}  // namespace
}  // namespace vrktest
