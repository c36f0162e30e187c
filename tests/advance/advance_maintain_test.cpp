// Chains, removal, compaction and the fault decisions around names, sizes,
// failed adds and the list file.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "advance/AdvanceFixture.h"
#include "frame/DiskFile.h"

namespace orvel_test {
namespace {

TEST_F(AdvanceTest, ChainsSurviveCollisionsRemovalAndReopening) {
  Packet p = Build(64, "c", 40);  // collisions at 40 of 64 slots move occupants
  const std::vector<std::string> chain = NamesAtHome(5, 64, 3);
  p->BeginUpdate();
  for (auto& n : chain) AddText(p.get(), n, n);
  ExpectConsistent(p.get());
  ASSERT_EQ(p->DeleteFile(chain[2].c_str()), 0);  // chain tail, last block entry: cleared
  ASSERT_EQ(p->DeleteFile(chain[0].c_str()), 0);  // chain head: the last entry fills the hole
  ExpectConsistent(p.get());
  EXPECT_EQ(ReadAll(*p, chain[0].c_str()), "<-33>");
  EXPECT_EQ(p->GetFileBlockIndex(chain[1].c_str()), 41);
  EXPECT_EQ(p->Header()->blockCount, 42u);
  EXPECT_EQ(p->Header()->wastedBytes, chain[0].size() + chain[2].size());
  EXPECT_EQ(p->Header()->flags & 1u, 1u);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  ExpectConsistent(again.get());
  char name[32];
  ASSERT_EQ(again->GetFileName(41, name, sizeof(name)), 0);
  EXPECT_EQ(name, chain[1]);
  EXPECT_EQ(ReadAll(*again, chain[1].c_str()), chain[1]);
  for (int i = 0; i < 40; ++i)
    EXPECT_EQ(ReadAll(*again, ("c" + std::to_string(i)).c_str()), "c" + std::to_string(i));
}

TEST_F(AdvanceTest, CompactionCopiesEachRecordOnceOrLeavesTheArchiveAsItWas) {
  Packet p = Create(8, 16);
  p->BeginUpdate();
  AddText(p.get(), "keep1", Text(100, 1), 1);
  AddText(p.get(), "drop", Text(300, 2));
  AddText(p.get(), "keep2", Text(70, 3));
  ASSERT_EQ(AddHashed(p.get(), {0xABC, 0xDEF, 0x123}, "hashed!"), 0);
  p->ListFileAdd("keep1");  // listed twice
  ASSERT_EQ(p->DeleteFile("drop"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  const std::string temp = Path() + "temp";
  // A handle that shares everything keeps the archive file from being replaced.
  const std::string vrk = Bytes(".vrk");
  orvel::FileHandle holder = orvel::OpenDiskFile(Path().c_str(), orvel::kModeReadWriteShared);
  EXPECT_EQ(p->CompactPacket(), VRKERR_OPEN_FILE);
  orvel::CloseDiskFile(holder);
  EXPECT_EQ(Bytes(".vrk"), vrk);
  EXPECT_EQ(access(temp.c_str(), F_OK), -1);
  EXPECT_EQ(ReadAll(*p, "keep2"), Text(70, 3));

  // Listed files in list order, then the hash-only one, each with its checksum word.
  const uint32_t s1 = p->GetFileStoredSize("keep1");
  Watch(VRKCB_COMPACT);
  ASSERT_EQ(p->CompactPacket(), 0);
  EXPECT_EQ(Bytes(".vrk").size(), 60u + (s1 + 4) + (70 + 4) + (7 + 4));
  EXPECT_EQ((std::vector<uint32_t>{p->Header()->wastedBytes, p->Header()->flags & 1u}),
            (std::vector<uint32_t>{0, 0}));
  EXPECT_EQ(g_calls, (Calls{{4, 1}, {4, 2}, {4, 3}}));
  EXPECT_EQ(p->FindBlock("keep1", kNone)->offset, 60u);
  EXPECT_EQ(p->FindBlock("keep2", kNone)->offset, 60u + s1 + 4);
  const std::string compacted = Bytes(".vrk");
  EXPECT_EQ(compacted.substr(compacted.size() - 11, 7), "hashed!");
  EXPECT_EQ(Word(compacted, compacted.size() - 4), orvel::Crc32("hashed!", 7));
  Packet again = Open();
  EXPECT_EQ(ReadAll(*again, "keep1"), Text(100, 1));
  EXPECT_EQ(again->CompactPacket(), 0);  // nothing wasted: nothing done
  EXPECT_EQ(Bytes(".vrk"), compacted);

  // A file cut behind the writer's back: the compaction reads the changed
  // archive again before it copies anything, finds the damage, and leaves
  // the file alone.
  again->BeginUpdate();
  ASSERT_EQ(again->DeleteFile("keep1"), 0);
  ASSERT_EQ(again->EndUpdate(), 0);
  const std::string cut = Bytes(".vrk").substr(0, compacted.size() - 2);
  WriteFileBytes(Path(), cut);
  EXPECT_EQ(again->CompactPacket(), VRKERR_BAD_SIGNATURE);
  EXPECT_EQ(Bytes(".vrk"), cut);
  EXPECT_EQ(access(temp.c_str(), F_OK), -1);
}

// Writers never shorten a side file, though the tables and the list shrink.
TEST_F(AdvanceTest, WritersNeverShortenASideFile) {
  Packet p = Build(16, "w", 3);
  const size_t bhl = Bytes(".bhl").size(), lst = Bytes(".lst").size();
  p->BeginUpdate();
  for (const char* name : {"w0", "w1", "w2"}) ASSERT_EQ(p->DeleteFile(name), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Bytes(".bhl").size(), bhl);
  EXPECT_EQ(Bytes(".lst").size(), lst);
}

TEST_F(AdvanceTest, CreationArgumentsAreChecked) {
  Packet p(new orvel::CVrkAdvance());
  for (unsigned requested : {0u, 1u}) {
    ASSERT_EQ(p->CreatePacket(Path().c_str(), 8, requested, 0, 0), 1);
    EXPECT_EQ(p->TableSize(), 2u);
  }
  unlink(Path().c_str());
  for (unsigned requested : {(1u << 26) + 1, 0xFFFFFFFFu}) {
    EXPECT_EQ(p->CreatePacket(Path().c_str(), 8, requested, 0, 0), 0);
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_MEMORY);
    EXPECT_EQ(access(Path().c_str(), F_OK), -1);
  }
  // Side files take lower-case extensions; other archive extensions are refused.
  ASSERT_EQ(p->CreatePacket((tmp_ / "Mixed.VRK").c_str(), 8, 4, 0, 0), 1);
  EXPECT_EQ(access((tmp_ / "Mixed.bhl").c_str(), F_OK), 0);
  EXPECT_EQ(access((tmp_ / "Mixed.lst").c_str(), F_OK), 0);
  EXPECT_EQ(p->OpenPacket((tmp_ / "x.pak").c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_EXTENSION);
}

// Adds that fail on writing (a file size limit, then data beyond offset
// 0xFFFFFFFF) take their hash entry out again and change nothing.
TEST_F(AdvanceTest, FailedAddsChangeNothing) {
  Packet p = Create(8, 8);
  const std::vector<std::string> chain = NamesAtHome(3, 8, 2);
  p->BeginUpdate();
  AddText(p.get(), chain[0], "first");
  const std::string before(reinterpret_cast<const char*>(p->HashTable()), 20 * 8);
  const std::string big(300, 'x');
  auto expectRefused = [&]() {
    EXPECT_EQ(p->AddFileFromMemory(chain[1].c_str(), 0, big.data(), 300, 0, 0), VRKERR_DATA_IO);
    EXPECT_EQ(AddHashed(p.get(), {9, 9, 9}, big), VRKERR_DATA_IO);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(p->HashTable()), 20 * 8), before);
    EXPECT_EQ(p->GetFileCount(), 2u);
  };
  // Writes beyond the limit fail (the signal is ignored so write returns).
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = Bytes(".vrk").size() + 8;
  setrlimit(RLIMIT_FSIZE, &small);
  expectRefused();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  ASSERT_EQ(truncate(Path().c_str(), 0xFFFFFF00ll), 0);  // sparse
  expectRefused();
  struct stat st;
  ASSERT_EQ(stat(Path().c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0xFFFFFF00ll);
  AddText(p.get(), chain[1], "second");
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(ReadAll(*Open(), chain[1].c_str()), "second");
}

}  // namespace
}  // namespace orvel_test
