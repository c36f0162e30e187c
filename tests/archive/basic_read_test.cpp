// Reading, extracting and querying files, enumerating names, and opening.
// (The allocation rule for both variants: tests/e2e.)
#include "BasicTestUtil.h"

using namespace orvel_test;

namespace {

constexpr unsigned kByName = 0xFFFFFFFFu;

class BasicRead : public ::testing::Test {
 protected:
  void SetUp() override {
    Packet p = NewCreated(path, 16);
    p->BeginUpdate();
    ASSERT_EQ(Add(*p, "Dir\\Text.txt", text, 1), 0);
    ASSERT_EQ(Add(*p, "raw.bin", "0123456789"), 0);
    ASSERT_EQ(Add(*p, "abcdef", "6"), 0);
    ASSERT_EQ(p->EndUpdate(), 0);
    q = NewOpened(path);
  }
  TempDir dir;
  std::string path = dir / "r.vrk";
  std::string text = Text(3000, 1);
  Packet q;
};

// Buffers must hold the whole file. Decision: a block index that names no
// used block entry finds nothing (-29); a used one overrides the name.
TEST_F(BasicRead, BuffersMustHoldTheWholeFileAndBlockIndexesOverrideTheName) {
  std::string buf(3000, '\0');
  EXPECT_EQ(q->ReadFileTo("dir\\text.TXT", &buf[0], 2999, kByName), 0);
  EXPECT_EQ(q->ReadFileTo("dir\\text.TXT", &buf[0], 3000, kByName), 3000);
  EXPECT_EQ(buf, text);
  EXPECT_EQ(q->ReadFileTo("raw.bin", &buf[0], -1, kByName), 0);
  const unsigned stored = q->GetFileStoredSize("dir\\text.txt");
  ASSERT_LT(stored, 3000u);
  EXPECT_EQ(q->ReadFileRaw("dir\\text.txt", &buf[0], stored - 1), 0);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(q->ReadFileRaw("dir\\text.txt", &buf[0], stored), int(stored));
  EXPECT_EQ(buf.substr(stored - 3, 3), std::string("\x11\0\0", 3));  // LZO1X end marker

  EXPECT_EQ(q->GetOriginalSize("anything", 0), q->GetFileOriginalSize("(listfile)"));
  unsigned size = 7;
  for (unsigned index : {4u, 15u, 16u, 0xFFFFFFFEu}) {
    EXPECT_EQ(q->GetStoredSize(nullptr, index), 0u) << index;
    EXPECT_EQ(g_nVrkErrCode, VRKERR_NOT_FOUND);
    EXPECT_EQ(q->ReadFileAlloc("raw.bin", &size, index), nullptr);
  }
  EXPECT_EQ(size, 7u);
  const std::string out = dir / "out";
  EXPECT_EQ(q->ExtractFile(nullptr, out.c_str(), q->GetFileBlockIndex("dir\\text.txt")), 1);
  EXPECT_EQ(ReadFileBytes(out), text);
}

// Decision: a stream that does not decode to exactly the original size is a
// read failure (-9), never a partial success.
TEST_F(BasicRead, DamagedStreamFailsTheRead) {
  auto& b = Access::Blocks(*q)[q->GetFileBlockIndex("dir\\text.txt")];
  std::string buf(3100, '\0');
  for (uint32_t original : {3001u, 2999u, 0xFFFFFFFFu}) {
    b.originalSize = original;
    EXPECT_EQ(q->ReadFileAlloc("dir\\text.txt", nullptr, kByName), nullptr) << original;
    EXPECT_EQ(g_nVrkErrCode, VRKERR_DATA_IO);
    EXPECT_EQ(q->ReadFileTo("dir\\text.txt", &buf[0], 3100, kByName), 0);
    EXPECT_EQ(g_nVrkErrCode, original < 3100 ? VRKERR_DATA_IO : 0);  // 0: did not fit
  }
}

// The list text: names through a cursor that may also step back, cut to the
// buffer, and removal of a name that is a prefix of another.
TEST_F(BasicRead, NamesAndTheListText) {
  char name[64];
  std::string names;
  for (unsigned i : {0u, 1u, 2u, 0u, 3u, 2u})
    names += (q->GetFileName(i, name, sizeof name) ? "?" : name) + std::string(";");
  EXPECT_EQ(names, "(listfile);dir\\text.txt;raw.bin;(listfile);abcdef;raw.bin;");
  EXPECT_EQ(q->GetFileName(4, name, sizeof name), VRKERR_BAD_INDEX);
  EXPECT_EQ(q->GetFileName(3, name, 4), 0);
  EXPECT_STREQ(name, "abc");
  q->BeginUpdate();
  ASSERT_EQ(Add(*q, "abc", "3"), 0);
  ASSERT_EQ(q->DeleteFile("ABC"), 0);
  EXPECT_EQ(Access::ListText(*q), "(listfile)\ndir\\text.txt\nraw.bin\nabcdef\n");
  ASSERT_EQ(q->EndUpdate(), 0);
}

// An archive file that cannot be opened for writing (here another handle
// lets others only read) opens read-only, as the advanced archive does:
// reads work, every change fails with -42 first and nothing is written.
TEST_F(BasicRead, UnwritableFileOpensReadOnly) {
  q.reset();
  const std::string before = ReadFileBytes(path);
  orvel::FileHandle holder = orvel::OpenDiskFile(path.c_str(), orvel::kModeReadShared);
  Packet r = NewOpened(path);
  EXPECT_EQ(ReadAll(*r, "dir\\text.txt"), text);
  unsigned h[3];
  r->GetFileHash("raw.bin", &h[0], &h[1], &h[2]);
  EXPECT_EQ(Add(*r, "x", "x"), VRKERR_READ_ONLY);  // before the bracket's -14
  r->BeginUpdate();
  for (int rc : {Add(*r, "x", "x"), r->AddFileFromDisk("x", 0, path.c_str(), 0, 0),
                 r->AddCompressedFile("x", 0, "x", 1, 1, 0, 0),
                 r->AddCompressedFileByHash(h, 2, "x", 1, 1, 0, 0), r->DeleteFile("raw.bin"),
                 r->DeleteFileByHash(h), r->EndUpdate(), r->CompactPacket()})
    EXPECT_EQ(rc, VRKERR_READ_ONLY);
  r->SetPacketVersion(3, 3);
  EXPECT_EQ(g_nVrkErrCode, VRKERR_READ_ONLY);
  orvel::CloseDiskFile(holder);
  EXPECT_EQ(ReadFileBytes(path), before);
}

}  // namespace
