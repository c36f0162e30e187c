// Removal, compaction and the fault decisions around names, sizes, failed
// adds and the list file.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <set>
#include <vector>

#include "advance/AdvanceFixture.h"
#include "codec/NameHash.h"
#include "frame/DiskFile.h"

namespace orvel_test {
namespace {

std::vector<int> g_compactCalls;
int RecordCompact(IOrvelPacket*, int total, int current) {
  g_compactCalls.push_back(total * 1000 + current);
  return 0;
}

// Every used slot is reachable from its home and points at its block entry.
void ExpectConsistent(const orvel::CVrkAdvance* p) {
  const uint32_t size = p->TableSize();
  std::set<uint32_t> seen;
  for (uint32_t s = 0; s < size; ++s) {
    const orvel::HashEntry& e = p->HashTable()[s];
    if (e.blockIndex == 0xFFFFFFFFu) continue;
    EXPECT_EQ(p->BlockTable()[e.blockIndex].hashIndex, s);
    EXPECT_TRUE(seen.insert(e.blockIndex).second);
    uint32_t cur = e.hash0 & (size - 1);
    for (uint32_t steps = 0; cur != s && steps < size; ++steps) cur = p->HashTable()[cur].next;
    EXPECT_EQ(cur, s);
  }
  EXPECT_EQ(seen.size(), p->Header()->blockCount);
}

// Names whose home slot in a table of `size` is `home`.
std::vector<std::string> NamesAtHome(uint32_t home, uint32_t size, size_t count) {
  unsigned table[orvel::kCryptTableWords];
  orvel::InitCryptTable(table);
  std::vector<std::string> out;
  for (int i = 0; out.size() < count; ++i) {
    std::string n = "h" + std::to_string(i);
    if ((orvel::HashName(n.c_str(), table, 0) & (size - 1)) == home) out.push_back(n);
  }
  return out;
}

TEST_F(AdvanceTest, RemovingAChainHeadKeepsTheRestOfTheChain) {
  Packet p = Create(8, 64);
  const std::vector<std::string> chain = NamesAtHome(5, 64, 3);
  p->BeginUpdate();
  for (auto& n : chain) AddText(p.get(), n, n);
  AddText(p.get(), "other", "o");
  ASSERT_EQ(p->DeleteFile(chain[0].c_str()), 0);
  ExpectConsistent(p.get());
  EXPECT_EQ(Read(p.get(), chain[1].c_str()), chain[1]);
  EXPECT_EQ(Read(p.get(), chain[2].c_str()), chain[2]);
  EXPECT_EQ(Read(p.get(), chain[0].c_str()), "<-33>");
  ASSERT_EQ(p->DeleteFile(chain[2].c_str()), 0);  // a chain tail
  ExpectConsistent(p.get());
  EXPECT_EQ(Read(p.get(), "other"), "o");
  EXPECT_EQ(p->DeleteFile("never-there"), 0);
  EXPECT_EQ(g_nVrkErrCode, 0);
  const unsigned missing[3] = {1, 2, 3};
  EXPECT_EQ(p->DeleteFileByHash(missing), 0);
  EXPECT_EQ(p->GetFileCount(), 3u);
  EXPECT_EQ(p->Header()->flags & 1u, 1u);
  ASSERT_EQ(p->EndUpdate(), 0);
  Packet again = Open();
  EXPECT_EQ(Read(again.get(), chain[1].c_str()), chain[1]);
  char name[32];
  ASSERT_EQ(again->GetFileName(1, name, sizeof(name)), 0);
  EXPECT_EQ(std::string(name), chain[1]);
}

TEST_F(AdvanceTest, RemovingMovesTheLastBlockEntryIntoTheHole) {
  Packet p = Create();
  p->BeginUpdate();
  AddText(p.get(), "a", "A");
  AddText(p.get(), "b", "BB");
  AddText(p.get(), "c", "CCC");
  EXPECT_EQ(p->GetFileBlockIndex("c"), 3);
  ASSERT_EQ(p->DeleteFile("c"), 0);  // the last entry only clears
  EXPECT_EQ(p->Header()->blockCount, 3u);
  ASSERT_EQ(p->DeleteFile("a"), 0);
  EXPECT_EQ(p->GetFileBlockIndex("b"), 1);
  EXPECT_EQ(Read(p.get(), "b"), "BB");
  EXPECT_EQ(p->Header()->wastedBytes, 4u);
  ExpectConsistent(p.get());
  ASSERT_EQ(p->EndUpdate(), 0);
}

TEST_F(AdvanceTest, CompactionCopiesListedThenHashOnlyFilesOnce) {
  Packet p = Create(8, 16);
  p->BeginUpdate();
  AddText(p.get(), "keep1", Text(100, 1), 1);
  AddText(p.get(), "drop", Text(300, 2));
  AddText(p.get(), "keep2", Text(70, 3));
  const unsigned hash[3] = {0xABC, 0xDEF, 0x123};
  ASSERT_EQ(p->AddCompressedFileByHash(hash, 0, "hashed!", 7, 7, 0, 0), 0);
  p->ListFileAdd("keep1");  // listed twice
  ASSERT_EQ(p->DeleteFile("drop"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  const uint32_t s1 = p->GetFileStoredSize("keep1");
  const uint32_t s2 = p->GetFileStoredSize("keep2");
  SetVrkCallback(VRKCB_COMPACT, RecordCompact);
  ASSERT_EQ(p->CompactPacket(), 0);
  EXPECT_EQ(Bytes(".vrk").size(), 60u + (s1 + 4) + (s2 + 4) + (7 + 4));
  EXPECT_EQ(p->Header()->wastedBytes, 0u);
  EXPECT_EQ(p->Header()->flags & 1u, 0u);
  EXPECT_EQ(g_compactCalls, (std::vector<int>{4001, 4002, 4003}));
  EXPECT_EQ(p->FindBlock("keep1", 0xFFFFFFFFu)->offset, 60u);
  EXPECT_EQ(Read(p.get(), "keep2"), Text(70, 3));
  Packet again = Open();
  EXPECT_EQ(Read(again.get(), "keep1"), Text(100, 1));
  // Stored bytes by hashes are marked compressed: check the record itself.
  const orvel::AdvanceBlockEntry* h = again->FindBlockByHash(0xABC, 0xDEF, 0x123, 0xFFFFFFFFu);
  ASSERT_NE(h, nullptr);
  const std::string vrk = Bytes(".vrk");
  EXPECT_EQ(vrk.substr(h->offset, 7), "hashed!");
  EXPECT_EQ(Word(vrk, h->offset + 7), orvel::Crc32("hashed!", 7));
  EXPECT_EQ(access((Path() + "temp").c_str(), F_OK), -1);
  // Nothing wasted: nothing done.
  EXPECT_EQ(again->CompactPacket(), 0);
}

TEST_F(AdvanceTest, FailedCompactionLeavesTheArchiveAsItWas) {
  Packet p = Create();
  p->BeginUpdate();
  AddText(p.get(), "a", Text(500, 1));
  AddText(p.get(), "b", Text(500, 2));
  ASSERT_EQ(p->DeleteFile("a"), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  const std::string vrk = Bytes(".vrk");
  // A handle that shares everything keeps the archive file from being
  // replaced.
  orvel::FileHandle holder = orvel::OpenDiskFile(Path().c_str(), 0x42);
  ASSERT_NE(holder, orvel::kInvalidFile);
  EXPECT_EQ(p->CompactPacket(), VRKERR_OPEN_FILE);
  orvel::CloseDiskFile(holder);
  EXPECT_EQ(Bytes(".vrk"), vrk);
  EXPECT_EQ(access((Path() + "temp").c_str(), F_OK), -1);
  EXPECT_EQ(Read(p.get(), "b"), Text(500, 2));
  EXPECT_EQ(Read(Open().get(), "b"), Text(500, 2));
  EXPECT_EQ(p->Header()->wastedBytes, 500u);

  // A record that cannot be read: the archive file is not replaced.
  const uint32_t offset = p->FindBlock("b", 0xFFFFFFFFu)->offset;
  ASSERT_EQ(truncate(Path().c_str(), offset + 10), 0);
  EXPECT_EQ(p->CompactPacket(), VRKERR_DATA_IO);
  EXPECT_EQ(Bytes(".vrk"), vrk.substr(0, offset + 10));
  EXPECT_EQ(access((Path() + "temp").c_str(), F_OK), -1);
}

TEST_F(AdvanceTest, OverlongNamesAreRefused) {
  Packet p = Create();
  const std::string longName(256, 'n');
  const std::string longest(255, 'n');
  p->BeginUpdate();
  EXPECT_EQ(p->AddFileFromMemory(longName.c_str(), 0, "x", 1, 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddCompressedFile(longName.c_str(), 0, "x", 1, 1, 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddFileFromDisk(longName.c_str(), 0, Path().c_str(), 0, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(p->DeleteFile(longName.c_str()), VRKERR_NULL_NAME);
  AddText(p.get(), longest, "ok");
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Read(p.get(), longest.c_str()), "ok");
  EXPECT_EQ(Read(p.get(), longName.c_str()), "<-11>");
  EXPECT_EQ(p->GetFileStoredSize(longName.c_str()), 0u);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  EXPECT_EQ(p->GetFileBlockIndex(longName.c_str()), -1);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
}

TEST_F(AdvanceTest, TableSizeRequestsAreBounded) {
  Packet p(new orvel::CVrkAdvance());
  ASSERT_EQ(p->CreatePacket(Path().c_str(), 8, 0, 0, 0), 1);
  EXPECT_EQ(p->TableSize(), 2u);
  ASSERT_EQ(p->CreatePacket(Path().c_str(), 8, 1, 0, 0), 1);
  EXPECT_EQ(p->TableSize(), 2u);
  unlink(Path().c_str());
  EXPECT_EQ(p->CreatePacket(Path().c_str(), 8, (1u << 26) + 1, 0, 0), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_MEMORY);
  EXPECT_EQ(access(Path().c_str(), F_OK), -1);
  EXPECT_EQ(p->CreatePacket(Path().c_str(), 8, 0xFFFFFFFFu, 0, 0), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_MEMORY);
}

TEST_F(AdvanceTest, FailedWriteTakesTheNewEntryOutAgain) {
  Packet p = Create(8, 8);
  const std::vector<std::string> chain = NamesAtHome(3, 8, 2);
  p->BeginUpdate();
  AddText(p.get(), chain[0], "first");
  const std::string before(reinterpret_cast<const char*>(p->HashTable()), 20 * 8);
  const uint32_t size = static_cast<uint32_t>(Bytes(".vrk").size());
  // Writes beyond the limit fail (the signal is ignored so write returns).
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = size + 8;
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string big(100, 'x');
  const int rc = p->AddFileFromMemory(chain[1].c_str(), 0, big.data(), 100, 0, 0);
  const unsigned hash[3] = {9, 9, 9};
  const int rcHash = p->AddCompressedFileByHash(hash, 0, big.data(), 100, 100, 0, 0);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(rc, VRKERR_DATA_IO);
  EXPECT_EQ(rcHash, VRKERR_DATA_IO);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p->HashTable()), 20 * 8), before);
  EXPECT_EQ(p->GetFileCount(), 2u);
  ExpectConsistent(p.get());
  AddText(p.get(), chain[1], "second");
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Read(Open().get(), chain[1].c_str()), "second");
}

TEST_F(AdvanceTest, DataBeyondFourGibibytesIsRefused) {
  Packet p = Create();
  ASSERT_EQ(truncate(Path().c_str(), 0xFFFFFF00ll), 0);  // sparse
  p->BeginUpdate();
  const std::string data(300, 'd');
  EXPECT_EQ(p->AddFileFromMemory("far", 0, data.data(), 300, 0, 0), VRKERR_DATA_IO);
  const unsigned hash[3] = {4, 5, 6};
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 0, data.data(), 300, 300, 0, 0), VRKERR_DATA_IO);
  EXPECT_EQ(p->GetFileCount(), 1u);
  EXPECT_EQ(orvel::GetDiskFileSize(orvel::OpenDiskFile(Path().c_str(), 0x42)), 0xFFFFFF00u);
  AddText(p.get(), "near", std::string(200, 'n'));
  EXPECT_EQ(p->EndUpdate(), 0);
  unlink(Path().c_str());
}

TEST_F(AdvanceTest, WritersNeverShortenTheSideFiles) {
  Packet p = Create(8, 8);
  p->BeginUpdate();
  for (int i = 0; i < 5; ++i) AddText(p.get(), "n" + std::to_string(i), "v");
  ASSERT_EQ(p->EndUpdate(), 0);
  const size_t bhl = Bytes(".bhl").size();
  const size_t lst = Bytes(".lst").size();
  p->BeginUpdate();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(p->DeleteFile(("n" + std::to_string(i)).c_str()), 0);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(Bytes(".bhl").size(), bhl);
  EXPECT_EQ(Bytes(".lst").size(), lst);
  Packet again = Open();
  EXPECT_EQ(again->GetFileCount(), 1u);
}

TEST_F(AdvanceTest, TheListFileCannotBeAddedOrRemoved) {
  Packet p = Create();
  const std::string list = Bytes(".lst");
  unsigned hash[3];
  p->GetFileHash("(listfile)", &hash[0], &hash[1], &hash[2]);
  p->BeginUpdate();
  EXPECT_EQ(p->DeleteFile("(LISTFILE)"), VRKERR_NULL_NAME);
  EXPECT_EQ(p->DeleteFileByHash(hash), VRKERR_NULL_HASH);
  EXPECT_EQ(p->AddFileFromMemory("(ListFile)", 2, "x", 1, 0, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddCompressedFile("(listfile)", 2, "x", 1, 1, 0, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddFileFromDisk("(listfile)", 2, Path().c_str(), 0, 9), VRKERR_NULL_NAME);
  EXPECT_EQ(p->AddCompressedFileByHash(hash, 2, "x", 1, 1, 0, 9), VRKERR_NULL_HASH);
  ASSERT_EQ(p->EndUpdate(), 0);
  EXPECT_EQ(p->GetFileCount(), 1u);
  EXPECT_EQ(Bytes(".lst"), list);
  EXPECT_EQ(Bytes(".vrk").size(), 60u);
}

}  // namespace
}  // namespace orvel_test
