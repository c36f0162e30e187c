// Advanced archives read over HTTP: every reading operation gives the same
// results and bytes from nginx as from the disk, writing operations are
// refused, and faults of the server (through a server of our own) give the
// right bytes or a clear error, never bytes of another archive.
#include <errno.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/FaultServer.h"
#include "common/NginxServer.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"
#include "orvel/IOrvelPacket.h"
#include "orvel/IVrkSystem.h"
#include "orvel/VrkErrors.h"

using namespace orvel_test;

namespace {

constexpr unsigned kNone = 0xFFFFFFFFu;

struct Freer {
  void operator()(IOrvelPacket* p) const { g_piVrkSystem->FreePacket(p); }
};
using Archive = std::unique_ptr<IOrvelPacket, Freer>;

Archive Load(const std::string& path) { return Archive(g_piVrkSystem->LoadPacket(path.c_str())); }

// File i of a test archive: sizes from 0 up, every third stored plain, the
// rest compressible text or incompressible noise.
std::string Content(unsigned i, unsigned seed) {
  std::mt19937 gen(i * 7919u + seed);
  const size_t size = i % 11 == 0 ? 0 : gen() % (i % 13 == 0 ? 70000 : 3000);
  std::string s(size, '\0');
  for (size_t k = 0; k < size; ++k)
    s[k] = i % 2 ? static_cast<char>('a' + (k * 31 + i) % 26) : static_cast<char>(gen());
  return s;
}

std::string Name(unsigned i) { return "dir" + std::to_string(i % 37) + "/File_" + std::to_string(i) + ".dat"; }

// Writes archive `base`.vrk (and its side files) into `dir`.
void MakeArchive(const std::string& dir, const std::string& base, unsigned files, bool enciphered,
                 unsigned seed = 1) {
  Archive a(g_piVrkSystem->NewPacket((dir + "/" + base + ".vrk").c_str(), enciphered ? 8 | 2 : 8,
                                     32, files > 1000 ? 32768 : 64, 0, 5));
  ASSERT_TRUE(a);
  a->BeginUpdate();
  for (unsigned i = 0; i < files; ++i)
    ASSERT_EQ(Add(*a, Name(i), Content(i, seed), i % 3 ? 1 : 0, 0, 5 + i % 4), 0) << i;
  ASSERT_EQ(a->EndUpdate(), 0);
}

// Every reading operation of `remote` against `local`: queries and whole
// reads for every file, the other reads for every `every`-th.
void ExpectSameReads(IOrvelPacket& local, IOrvelPacket& remote, unsigned every) {
  ASSERT_EQ(remote.GetFileCount(), local.GetFileCount());
  EXPECT_EQ(remote.GetPacketFlags(), local.GetPacketFlags());
  unsigned lv[3] = {}, rv[3] = {};
  local.GetPacketVersion(&lv[0], &lv[1], &lv[2]);
  remote.GetPacketVersion(&rv[0], &rv[1], &rv[2]);
  EXPECT_EQ(std::vector<unsigned>(lv, lv + 3), std::vector<unsigned>(rv, rv + 3));
  for (unsigned i = 0;; ++i) {
    char ln[300], rn[300];
    const int lrc = local.GetFileName(i, ln, sizeof ln);
    ASSERT_EQ(remote.GetFileName(i, rn, sizeof rn), lrc) << i;
    if (lrc != 0) break;
    ASSERT_STREQ(rn, ln);
    const char* name = ln;
    EXPECT_EQ(remote.GetFileBlockIndex(name), local.GetFileBlockIndex(name));
    EXPECT_EQ(remote.GetFileOriginalSize(name), local.GetFileOriginalSize(name));
    EXPECT_EQ(remote.GetFileStoredSize(name), local.GetFileStoredSize(name));
    EXPECT_EQ(remote.GetFileFlags(name), local.GetFileFlags(name));
    unsigned lh[3] = {}, rh[3] = {};
    local.GetFileHash(name, &lh[0], &lh[1], &lh[2]);
    remote.GetFileHash(name, &rh[0], &rh[1], &rh[2]);
    EXPECT_EQ(std::vector<unsigned>(lh, lh + 3), std::vector<unsigned>(rh, rh + 3));
    if (i == 0) continue;
    const std::string bytes = ReadAll(local, name);
    ASSERT_TRUE(ReadAll(remote, name) == bytes) << name;
    if (i % every != 0) continue;
    // By block index, into the caller's buffer, raw, and extracted.
    const unsigned block = static_cast<unsigned>(local.GetFileBlockIndex(name));
    EXPECT_TRUE(ReadAll(remote, name, block) == bytes) << name;
    std::string to(bytes.size() + 8, '\0');
    EXPECT_EQ(remote.ReadFileTo(name, &to[0], static_cast<int>(to.size()), kNone),
              bytes.empty() ? 0 : static_cast<int>(bytes.size()));
    EXPECT_TRUE(to.substr(0, bytes.size()) == bytes);
    const unsigned stored = local.GetFileStoredSize(name);
    std::string lraw(stored + 4, '\0'), rraw(stored + 4, '\0');
    EXPECT_EQ(remote.ReadFileRaw(name, &rraw[0], stored + 4), local.ReadFileRaw(name, &lraw[0], stored + 4));
    EXPECT_TRUE(rraw == lraw);
  }
}

class RemoteArchiveTest : public ::testing::TestWithParam<std::tuple<unsigned, bool>> {};

TEST_P(RemoteArchiveTest, NginxServesTheSameReadsAsTheDisk) {
  const auto [files, enciphered] = GetParam();
  TempDir www;
  MakeArchive(www.path(), "a", files, enciphered);
  NginxServer nginx(www.path());
  if (!nginx.Running()) GTEST_SKIP() << nginx.Problem();
  Archive local = Load(www / "a.vrk");
  Archive remote = Load(nginx.Url("a.vrk"));
  ASSERT_TRUE(local);
  ASSERT_TRUE(remote) << g_nVrkErrCode << " " << VrkLastSystemError();
  ExpectSameReads(*local, *remote, files > 1000 ? 7 : 1);

  // An extraction writes the same bytes.
  TempDir out;
  const std::string name = Name(files > 1 ? 1 : 0);
  ASSERT_EQ(remote->ExtractFile(name.c_str(), (out / "x").c_str(), kNone), 1);
  EXPECT_TRUE(ReadFileBytes(out / "x") == ReadAll(*local, name.c_str()));

  // Changes are refused: the archive is read-only.
  remote->BeginUpdate();
  EXPECT_EQ(Add(*remote, "new.txt", "new"), VRKERR_READ_ONLY);
  EXPECT_EQ(remote->DeleteFile(name.c_str()), VRKERR_READ_ONLY);
  remote->EndUpdate();
  EXPECT_EQ(remote->CompactPacket(), VRKERR_READ_ONLY);
  EXPECT_TRUE(ReadAll(*remote, name.c_str()) == ReadAll(*local, name.c_str()));
}

INSTANTIATE_TEST_SUITE_P(OneAndManyFiles, RemoteArchiveTest,
                         ::testing::Combine(::testing::Values(1u, 20000u), ::testing::Bool()));

TEST(RemoteArchive, UrlsAreNeverWrittenAndOnlyAdvancedArchivesOpen) {
  FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  EXPECT_EQ(g_piVrkSystem->NewPacket(server.Url("n.vrk").c_str(), 8, 32, 16, 0, 0), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_READ_ONLY);
  EXPECT_TRUE(server.Log().empty());

  TempDir dir;
  Archive basic(g_piVrkSystem->NewPacket((dir / "b.dat").c_str(), 0, 32, 16, 0, 0));
  ASSERT_TRUE(basic);
  basic->BeginUpdate();
  Add(*basic, "x", "x");
  basic->EndUpdate();
  basic.reset();
  server.Put("b.dat", ReadFileBytes(dir / "b.dat"));
  EXPECT_FALSE(Load(server.Url("b.dat")));
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);
  EXPECT_EQ(VrkLastSystemError(), EOPNOTSUPP);
}

class FaultyArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.Running()) GTEST_SKIP() << "no loopback socket for the test server";
    MakeArchive(dir_.path(), "a", 40, true, 1);
    MakeArchive(dir_.path(), "b", 40, true, 2);  // the same names, other bytes
    Serve("a");
    local_ = Load(dir_ / "a.vrk");
    ASSERT_TRUE(local_);
  }
  // Serves archive `base` as a.vrk, a.bhl and a.lst.
  void Serve(const std::string& base) {
    for (const char* ext : {".vrk", ".bhl", ".lst"})
      server_.Put(std::string("a") + ext, ReadFileBytes(dir_ / (base + ext)));
  }
  std::string Url() const { return server_.Url("a.vrk"); }

  TempDir dir_;
  FaultServer server_;
  Archive local_;
};

TEST_F(FaultyArchive, FaultsOfTheSideFilesAtOpen) {
  struct Case {
    const char* what;
    const char* file;
    Fault fault;
    int times;
    bool opens;
    bool names;  // the name list is there
  } cases[] = {
      {"table file cut once", ".bhl", Fault::kCutBody, 1, true, true},
      {"table file 500 twice", ".bhl", Fault::kStatus500, 2, true, true},
      {"table file 404", ".bhl", Fault::kStatus404, 1, false, false},
      {"list file short once", ".lst", Fault::kShortBody, 1, true, true},
      {"list file 500 always", ".lst", Fault::kStatus500, 5, false, false},
      // As on disk: a missing list leaves the archive without names.
      {"list file 404", ".lst", Fault::kStatus404, 1, true, false},
      {"archive file ignores ranges", ".vrk", Fault::kIgnoreRange, 3, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    server_.Inject(c.file, c.fault, c.times);
    Archive remote = Load(Url());
    ASSERT_EQ(static_cast<bool>(remote), c.opens) << g_nVrkErrCode;
    if (!remote) continue;
    char name[64];
    EXPECT_EQ(remote->GetFileName(3, name, sizeof name) == 0, c.names);
    EXPECT_TRUE(ReadAll(*remote, Name(3).c_str()) == ReadAll(*local_, Name(3).c_str()));
  }
}

// A URL with a query (a token, a signature) and a fragment: the side files
// are asked for with the same query, and one connection serves the open
// and every read, one range request per read at most.
TEST_F(FaultyArchive, AUrlWithAQueryOpensOverOneConnection) {
  server_.ClearLog();
  Archive remote = Load(Url() + "?sig=a%2Fb&exp=1#part");
  ASSERT_TRUE(remote) << g_nVrkErrCode << " " << VrkLastSystemError();
  for (unsigned i = 1; i < 40; ++i)
    EXPECT_TRUE(ReadAll(*remote, Name(i).c_str()) == ReadAll(*local_, Name(i).c_str())) << i;
  EXPECT_EQ(server_.Connections(), 1);
  const auto log = server_.Log();
  EXPECT_LE(log.size(), 4u + 39u);  // probe, open, two side files, then the reads
  std::vector<std::string> sides;
  for (const auto& r : log) {
    EXPECT_EQ(r.path.substr(r.path.find('?')), "?sig=a%2Fb&exp=1");
    const std::string path = r.path.substr(0, r.path.find('?'));
    if (path != "/a.vrk") sides.push_back(path);
  }
  EXPECT_EQ(sides, (std::vector<std::string>{"/a.bhl", "/a.lst"}));
}

TEST_F(FaultyArchive, AnArchiveReplacedOnTheServerIsAnErrorNeverAMix) {
  Archive remote = Load(Url());
  ASSERT_TRUE(remote);
  EXPECT_TRUE(ReadAll(*remote, Name(5).c_str()) == ReadAll(*local_, Name(5).c_str()));
  Serve("b");
  Archive b = Load(dir_ / "b.vrk");
  ASSERT_TRUE(b);
  // Records among the first bytes, which the open fetched, still read as
  // they were; every other read fails.
  unsigned failed = 0;
  for (unsigned i = 0; i < 40; ++i) {
    const std::string got = ReadAll(*remote, Name(i).c_str());
    // An empty record has only its checksum word to fetch.
    if (got == "<" + std::to_string(VRKERR_DATA_IO) + ">" ||
        got == "<" + std::to_string(VRKERR_CHECKSUM_IO) + ">") {
      ++failed;
    } else {
      EXPECT_TRUE(got == ReadAll(*local_, Name(i).c_str())) << i;
    }
  }
  EXPECT_GT(failed, 30u);
  // A new open reads the new archive whole.
  Archive again = Load(Url());
  ASSERT_TRUE(again);
  EXPECT_TRUE(ReadAll(*again, Name(5).c_str()) == ReadAll(*b, Name(5).c_str()));
}

}  // namespace
