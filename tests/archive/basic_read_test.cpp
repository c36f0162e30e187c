// Reading files and querying them, enumerating names, opening, and the
// allocation rule for returned buffers.
#include <gtest/gtest.h>

#include "BasicTestUtil.h"
#include "common/CountingAllocator.h"

using namespace orvel_test;

namespace {

constexpr unsigned kByName = 0xFFFFFFFFu;

class BasicRead : public ::testing::Test {
 protected:
  void SetUp() override {
    Packet p = NewCreated(path, 16, 0, 0, 2);
    p->BeginUpdate();
    ASSERT_EQ(Add(*p, "Dir\\Text.txt", text, 1), 0);
    ASSERT_EQ(Add(*p, "raw.bin", "0123456789"), 0);
    ASSERT_EQ(Add(*p, "caf\xC3\xA9", "e"), 0);
    ASSERT_EQ(Add(*p, "abcdef", "6"), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    q = NewOpened(path);
  }
  TempDir dir;
  std::string path = dir / "r.vrk";
  std::string text = Text(3000, 1);
  unsigned textSize = 3000;
  Packet q;
};

TEST_F(BasicRead, NamesFoldAsciiCaseOnly) {
  EXPECT_EQ(ReadAll(*q, "dir\\text.TXT"), text);
  EXPECT_EQ(ReadAll(*q, "dir/text.txt"), "<null>");
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
  EXPECT_EQ(ReadAll(*q, "CAF\xC3\xA9"), "e");
  EXPECT_EQ(ReadAll(*q, "caf\xC3\x89"), "<null>");
}

TEST_F(BasicRead, BuffersMustHoldTheWholeFile) {
  std::string buf(textSize, '\0');
  EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], textSize - 1, kByName), 0);
  EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], textSize, kByName), int(textSize));
  EXPECT_EQ(buf, text);
  EXPECT_EQ(q->ReadFileTo("raw.bin", &buf[0], 9, kByName), 0);
  EXPECT_EQ(q->ReadFileTo("raw.bin", &buf[0], -1, kByName), 0);
  EXPECT_EQ(q->ReadFileTo("raw.bin", nullptr, 10, kByName), 0);

  const unsigned stored = q->GetFileStoredSize("dir\\text.txt");
  ASSERT_LT(stored, textSize);
  EXPECT_EQ(q->ReadFileRaw("dir\\text.txt", &buf[0], stored - 1), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(q->ReadFileRaw("dir\\text.txt", &buf[0], stored), int(stored));
  EXPECT_EQ(buf.substr(stored - 3, 3), std::string("\x11\0\0", 3));  // LZO1X end marker
}

// Decision: a block index that names no used block entry finds nothing (-29).
TEST_F(BasicRead, BlockIndexOverridesTheName) {
  EXPECT_EQ(q->GetOriginalSize("anything", 0), q->GetFileOriginalSize("(listfile)"));
  unsigned size = 7;
  for (unsigned index : {5u, 15u, 16u, 0xFFFFFFFEu}) {
    EXPECT_EQ(q->GetStoredSize(nullptr, index), 0u) << index;
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
    EXPECT_EQ(q->ReadFileAlloc("raw.bin", &size, index), nullptr);
  }
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(q->GetFileBlockIndex("absent"), -1);
}

// Decision: a stream that does not decode to exactly the original size is a
// read failure (-9), never a partial success.
TEST_F(BasicRead, DamagedStreamFailsTheRead) {
  auto& b = Access::Blocks(*q)[q->GetFileBlockIndex("dir\\text.txt")];
  std::string buf(textSize + 100, '\0');
  for (uint32_t original : {textSize + 1, textSize - 1, 0xFFFFFFFFu}) {
    b.originalSize = original;
    EXPECT_EQ(q->ReadFileAlloc("dir\\text.txt", nullptr, kByName), nullptr) << original;
    EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
    EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], int(buf.size()), kByName), 0);
    if (original < buf.size()) {
      EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
    }
  }
}

TEST_F(BasicRead, ExtractWritesTheDecodedFile) {
  const std::string out = dir / "out.txt";
  EXPECT_EQ(q->ExtractFile("dir\\text.txt", out.c_str(), kByName), 1);
  EXPECT_EQ(ReadFileBytes(out), text);
  EXPECT_EQ(q->ExtractFile("dir\\text.txt", (dir / "no/such/dir").c_str(), kByName), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CREATE_FILE);
  EXPECT_EQ(q->ExtractFile("absent", out.c_str(), kByName), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
}

TEST_F(BasicRead, GetFileNameWalksTheListWithACursor) {
  char name[64];
  const char* expect[] = {"(listfile)", "dir\\text.txt", "raw.bin", "caf\xC3\xA9", "abcdef"};
  for (unsigned i : {0u, 1u, 2u, 0u, 3u, 4u, 2u}) {
    ASSERT_EQ(q->GetFileName(i, name, sizeof name), 0) << i;
    EXPECT_STREQ(name, expect[i]);
  }
  EXPECT_EQ(q->GetFileName(4, name, 4), 0);
  EXPECT_STREQ(name, "abc");
  EXPECT_EQ(q->GetFileName(5, name, sizeof name), VRKERR_BAD_INDEX);
  EXPECT_EQ(q->GetFileName(0, name, 0), VRKERR_NULL_NAME);
}

TEST_F(BasicRead, RemovingANameLeavesLongerNamesAlone) {
  q->BeginUpdate();
  ASSERT_EQ(Add(*q, "abc", "3"), 0);
  ASSERT_EQ(q->DeleteFile("ABC"), 0);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\ndir\\text.txt\nraw.bin\ncaf\xC3\xA9\nabcdef\n");
  for (const char* name : {"abcdef", "raw.bin", "dir\\text.txt", "caf\xC3\xA9"})
    ASSERT_EQ(q->DeleteFile(name), 0);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\n");
  ASSERT_EQ(q->EndUpdate(), 0);
}

TEST_F(BasicRead, HostAllocatorServesEveryBlock) {
  CountingAllocator counting;
  {
    ScopedAllocator scope(&counting);
    Packet p = NewOpened(path);
    EXPECT_EQ(ReadAll(*p, "dir\\text.txt"), text);
    EXPECT_GT(counting.live(), 0u);
  }
  EXPECT_EQ(counting.live(), 0u);
  EXPECT_TRUE(counting.always_aligned_16());
  EXPECT_FALSE(counting.freed_foreign());
}

TEST_F(BasicRead, OpenFailuresLeaveTheObjectUnloaded) {
  orvel::COrvelPacket p;
  EXPECT_EQ(p.OpenPacket((dir / "missing.vrk").c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);
  ASSERT_EQ(p.OpenPacket(path.c_str()), 1);
  std::string bytes = ReadFileBytes(path);
  PutWord(bytes, 4, 31);  // an unknown format version
  WriteFileBytes(dir / "v31.vrk", bytes);
  EXPECT_EQ(p.OpenPacket((dir / "v31.vrk").c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_SIGNATURE);
  EXPECT_FALSE(Access::Loaded(p));
  EXPECT_TRUE(orvel::DeleteDiskFile((dir / "v31.vrk").c_str()));  // no handle left open
  EXPECT_EQ(p.ReadFileAlloc("raw.bin", nullptr, kByName), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_OPEN);
}

}  // namespace
