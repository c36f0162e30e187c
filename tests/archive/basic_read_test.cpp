// Reading files and querying them, enumerating names, and the allocation
// rule for returned buffers.
#include <gtest/gtest.h>

#include "BasicTestUtil.h"
#include "common/CountingAllocator.h"

using namespace orvel_test;

namespace {

class BasicRead : public ::testing::Test {
 protected:
  void SetUp() override {
    Packet p = NewCreated(path, 16, 0, 0, 2);
    p->BeginUpdate();
    ASSERT_EQ(p->AddFileFromMemory("Dir\\Text.txt", 1, text.data(), size(text), 0, 0), 0);
    ASSERT_EQ(p->AddFileFromMemory("raw.bin", 0, "0123456789", 10, 0, 0), 0);
    ASSERT_EQ(p->AddFileFromMemory("caf\xC3\xA9", 0, "e", 1, 0, 0), 0);
    ASSERT_EQ(p->AddFileFromMemory("abcdef", 0, "6", 1, 0, 0), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    q = NewOpened(path);
  }
  static unsigned size(const std::string& s) { return static_cast<unsigned>(s.size()); }
  TempDir dir;
  std::string path = dir / "r.vrk";
  std::string text = Text(3000, 1);
  Packet q;
};

TEST_F(BasicRead, NamesFoldAsciiCaseOnly) {
  EXPECT_EQ(ReadAll(*q, "dir\\text.TXT"), text);
  EXPECT_EQ(ReadAll(*q, "dir/text.txt"), "<null>");
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
  EXPECT_EQ(ReadAll(*q, "CAF\xC3\xA9"), "e");
  EXPECT_EQ(ReadAll(*q, "caf\xC3\x89"), "<null>");
}

TEST_F(BasicRead, ReadFileToNeedsRoomForTheOriginalSize) {
  std::string buf(text.size(), '\0');
  g_nVrkErrCode = -99;
  EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], size(text) - 1, 0xFFFFFFFF), 0);
  EXPECT_EQ(g_nVrkErrCode, 0);  // left as the lookup set it
  EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], size(text), 0xFFFFFFFF), size(text));
  EXPECT_EQ(buf, text);
  char small[10];
  EXPECT_EQ(q->ReadFileTo("raw.bin", small, 9, 0xFFFFFFFF), 0);
  EXPECT_EQ(q->ReadFileTo("raw.bin", small, 10, 0xFFFFFFFF), 10);
  EXPECT_EQ(q->ReadFileTo("raw.bin", nullptr, 10, 0xFFFFFFFF), 0);
  EXPECT_EQ(q->ReadFileTo("raw.bin", small, -1, 0xFFFFFFFF), 0);
}

TEST_F(BasicRead, RawBytesAreTheStoredStream) {
  const unsigned stored = q->GetFileStoredSize("dir\\text.txt");
  ASSERT_LT(stored, text.size());
  std::string raw(stored, '\0');
  EXPECT_EQ(q->ReadFileRaw("dir\\text.txt", &raw[0], stored - 1), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(q->ReadFileRaw("dir\\text.txt", &raw[0], stored), static_cast<int>(stored));
  EXPECT_EQ(raw.substr(raw.size() - 3), std::string("\x11\0\0", 3));  // LZO1X end marker
  EXPECT_EQ(q->ReadFileRaw(nullptr, &raw[0], stored), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_NAME);
  EXPECT_EQ(q->ReadFileRaw("raw.bin", nullptr, stored), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_BUFFER);
}

TEST_F(BasicRead, BlockIndexOverridesTheName) {
  unsigned size = 7;
  void* data = q->ReadFileAlloc("raw.bin", nullptr, 0xFFFFFFFF);
  ASSERT_NE(data, nullptr);
  q->FreeBuffer(data);
  EXPECT_EQ(q->GetOriginalSize("anything", 0), q->GetFileOriginalSize("(listfile)"));
  EXPECT_EQ(q->GetOriginalSize(nullptr, 0xFFFFFFFF), 0u);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NO_KEY);
  // Indices that name no used block entry find nothing.
  for (unsigned index : {5u, 15u, 16u, 0xFFFFFFFEu}) {
    EXPECT_EQ(q->GetStoredSize(nullptr, index), 0u) << index;
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
    EXPECT_EQ(q->ReadFileAlloc(nullptr, &size, index), nullptr);
  }
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(q->GetFileOriginalSize("absent"), 0u);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
  EXPECT_EQ(q->GetFileBlockIndex("absent"), -1);
}

// Decision: a stream that does not decode to exactly the original size is a
// read failure (-9), never a partial success.
TEST_F(BasicRead, DamagedStreamFailsTheRead) {
  auto* b = &Access::Blocks(*q)[q->GetFileBlockIndex("dir\\text.txt")];
  std::string buf(text.size() + 100, '\0');
  b->originalSize += 1;
  EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], size(buf), 0xFFFFFFFF), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
  EXPECT_EQ(q->ReadFileAlloc("dir\\text.txt", nullptr, 0xFFFFFFFF), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
  b->originalSize -= 2;
  EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], size(buf), 0xFFFFFFFF), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
  b->originalSize = 0xFFFFFFFFu;  // refused before anything is allocated
  EXPECT_EQ(q->ReadFileAlloc("dir\\text.txt", nullptr, 0xFFFFFFFF), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
}

TEST_F(BasicRead, ExtractWritesTheDecodedFile) {
  const std::string out = dir / "out.txt";
  EXPECT_EQ(q->ExtractFile("dir\\text.txt", out.c_str(), 0xFFFFFFFF), 1);
  EXPECT_EQ(ReadFileBytes(out), text);
  EXPECT_EQ(q->ExtractFile("dir\\text.txt", nullptr, 0xFFFFFFFF), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_PATH);
  EXPECT_EQ(q->ExtractFile("dir\\text.txt", (dir / "no/such/dir").c_str(), 0xFFFFFFFF), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_CREATE_FILE);
  EXPECT_EQ(q->ExtractFile("absent", out.c_str(), 0xFFFFFFFF), 0);
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
  g_nVrkErrCode = 3;
  EXPECT_EQ(q->GetFileName(0, nullptr, 10), VRKERR_NULL_NAME);
  EXPECT_EQ(q->GetFileName(0, name, 0), VRKERR_NULL_NAME);
  EXPECT_EQ(g_nVrkErrCode, 3);
}

TEST_F(BasicRead, RemovingANameLeavesLongerNamesAlone) {
  q->BeginUpdate();
  ASSERT_EQ(q->AddFileFromMemory("abc", 0, "3", 1, 0, 0), 0);
  ASSERT_EQ(q->DeleteFile("ABC"), 0);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\ndir\\text.txt\nraw.bin\ncaf\xC3\xA9\nabcdef\n");
  ASSERT_EQ(q->DeleteFile("abcdef"), 0);
  ASSERT_EQ(q->DeleteFile("raw.bin"), 0);
  ASSERT_EQ(q->DeleteFile("dir\\text.txt"), 0);
  ASSERT_EQ(q->DeleteFile("caf\xC3\xA9"), 0);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\n");
  EXPECT_EQ(q->GetFileCount(), 1u);
  ASSERT_EQ(q->EndUpdate(), 0);
}

TEST_F(BasicRead, HostAllocatorServesEveryBlock) {
  CountingAllocator counting;
  {
    ScopedAllocator scope(&counting);
    Packet p(new orvel::COrvelPacket);
    ASSERT_EQ(p->OpenPacket(path.c_str()), 1);
    unsigned size = 0;
    void* data = p->ReadFileAlloc("dir\\text.txt", &size, 0xFFFFFFFF);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, text.size());
    EXPECT_GT(counting.live(), 0u);
    p->FreeBuffer(data);
    p->FreeBuffer(nullptr);
  }
  EXPECT_EQ(counting.live(), 0u);
  EXPECT_TRUE(counting.always_aligned_16());
  EXPECT_FALSE(counting.freed_foreign());
}

TEST_F(BasicRead, OpenFailuresLeaveTheObjectUnloaded) {
  orvel::COrvelPacket p;
  EXPECT_EQ(p.OpenPacket(nullptr), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NULL_PATH);
  EXPECT_EQ(p.OpenPacket((dir / "missing.vrk").c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);
  ASSERT_EQ(p.OpenPacket(path.c_str()), 1);
  EXPECT_EQ(p.OpenPacket((dir / std::string(300, 'p')).c_str()), 0);  // no room for the path
  EXPECT_EQ(g_nVrkErrCode, VRKERR_OPEN_FILE);
  EXPECT_FALSE(Access::Loaded(p));
  std::string bytes = ReadFileBytes(path);
  PutWord(bytes, 4, 31);
  WriteFileBytes(dir / "v31.vrk", bytes);
  EXPECT_EQ(p.OpenPacket((dir / "v31.vrk").c_str()), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BAD_SIGNATURE);
  EXPECT_FALSE(Access::Loaded(p));
  EXPECT_EQ(p.GetFileCount(), 0u);
  EXPECT_TRUE(orvel::DeleteDiskFile((dir / "v31.vrk").c_str()));  // no handle left open
  EXPECT_EQ(p.ReadFileAlloc("raw.bin", nullptr, 0xFFFFFFFF), nullptr);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_OPEN);
}

}  // namespace
