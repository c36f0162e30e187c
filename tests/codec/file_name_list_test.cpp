#include "codec/FileNameList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "codec/assert_capture.h"
#include "orvel/CPacketAllocator.h"

namespace orvel {
namespace {

using orvel_test::AssertCapture;

std::string Text(const CFileNameList& list) {
  return std::string(list.m_szBuffer, list.m_szBuffer + list.m_nBufferSize);
}

// Bytes from the end of the text to the end of the buffer are all zero.
bool TailIsZero(const CFileNameList& list) {
  for (int i = list.m_nBufferSize; i < list.m_nMaxBufferSize; ++i)
    if (list.m_szBuffer[i] != 0) return false;
  return list.m_nBufferSize < list.m_nMaxBufferSize;
}

std::string Report(const char* expr, int line) {
  return AssertCapture::Message(expr, "FileNameList.cpp", line);
}

TEST(FileNameList, AddingBuildsTheTextAndTheIndex) {
  CFileNameList list;
  list.AddName("a");
  list.AddName("bc");
  list.AddName("a");
  list.AddName("");
  list.AddName(nullptr);
  ASSERT_EQ(list.m_nKeyNameCount, 3);
  EXPECT_EQ(Text(list), "a\nbc\na\n");
  EXPECT_EQ(list.m_nBufferSize, 7);
  const unsigned offsets[] = {0, 2, 5}, lengths[] = {2, 3, 2};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list.m_lpKeyName[i].offset, offsets[i]);
    EXPECT_EQ(list.m_lpKeyName[i].length, lengths[i]);
  }
  EXPECT_TRUE(TailIsZero(list));
}

TEST(FileNameList, RemovingNeverTouchesTheFirstEntry) {
  CFileNameList list;
  for (const char* n : {"a", "bc", "a"}) list.AddName(n);
  list.RemoveName("a");   // first match is entry 0
  list.RemoveName("BC");  // case matters
  list.RemoveName("b");
  list.RemoveName("zz");
  EXPECT_EQ(Text(list), "a\nbc\na\n");

  list.RemoveName("bc");
  ASSERT_EQ(list.m_nKeyNameCount, 2);
  EXPECT_EQ(Text(list), "a\na\n");
  EXPECT_EQ(list.m_lpKeyName[1].offset, 2u);
  EXPECT_EQ(list.m_lpKeyName[1].length, 2u);
  EXPECT_EQ(list.m_lpKeyName[2].offset, 0u);
  EXPECT_EQ(list.m_lpKeyName[2].length, 0u);
  EXPECT_TRUE(TailIsZero(list));
}

TEST(FileNameList, GetNameCopiesWithinTheCallersBuffer) {
  CFileNameList list;
  for (const char* n : {"a", "bc", "a"}) list.AddName(n);
  char buf[16];
  EXPECT_TRUE(list.GetName(1, buf, 2));
  EXPECT_STREQ(buf, "b");
  EXPECT_TRUE(list.GetName(1, buf, 16));
  EXPECT_STREQ(buf, "bc");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_FALSE(list.GetName(3, buf, 16));
  EXPECT_EQ(std::string(buf, 16), std::string(16, '\0'));
  EXPECT_FALSE(list.GetName(-1, buf, 16));
  EXPECT_FALSE(list.GetName(0, nullptr, 16));
  // A size below 1 copies nothing at all.
  buf[0] = 'x';
  EXPECT_FALSE(list.GetName(0, buf, 0));
  EXPECT_FALSE(list.GetName(0, buf, -4));
  EXPECT_EQ(buf[0], 'x');
  CFileNameList empty;
  EXPECT_FALSE(empty.GetName(0, buf, 16));
}

TEST(FileNameList, IndexGrowsFromEightToSixteenOnTheNinthName) {
  CFileNameList list;
  for (int i = 0; i < 8; ++i) list.AddName(("n" + std::to_string(i)).c_str());
  EXPECT_EQ(list.m_nMaxKeyName, 8);
  list.AddName("ninth");
  EXPECT_EQ(list.m_nMaxKeyName, 16);
  EXPECT_EQ(list.m_nKeyNameCount, 9);
  EXPECT_EQ(list.m_lpKeyName[9].length, 0u);  // spare entries are zero
  char buf[16];
  ASSERT_TRUE(list.GetName(8, buf, 16));
  EXPECT_STREQ(buf, "ninth");
}

TEST(FileNameList, ManyNamesKeepTheInvariants) {
  CFileNameList list;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string name = "dir\\file" + std::to_string(i * 7919 % 10007);
    list.AddName(name.c_str());
    expected += name + "\n";
  }
  ASSERT_EQ(Text(list), expected);
  EXPECT_TRUE(TailIsZero(list));
  unsigned offset = 0;
  for (int i = 0; i < list.m_nKeyNameCount; ++i) {
    EXPECT_EQ(list.m_lpKeyName[i].offset, offset);
    offset += list.m_lpKeyName[i].length;
  }
  // Geometric growth: far fewer than one reallocation per name.
  EXPECT_LE(list.m_nMaxKeyName, 2 * 5000 + 8);
}

TEST(FileNameList, ReserveSizesAnEmptyList) {
  CFileNameList list;
  list.AddName("old");
  list.Reserve(3, 10);
  EXPECT_EQ(list.m_nKeyNameCount, 0);
  EXPECT_EQ(list.m_nBufferSize, 0);
  EXPECT_EQ(list.m_nMaxKeyName, 3);
  EXPECT_EQ(list.m_nMaxBufferSize, 10);
  EXPECT_TRUE(TailIsZero(list));
  list.AddName("abc");
  list.AddName("de");
  EXPECT_EQ(list.m_nMaxBufferSize, 10);  // 7 bytes used, room remains
  EXPECT_EQ(Text(list), "abc\nde\n");
  list.Clear();
  EXPECT_EQ(list.m_lpKeyName, nullptr);
  EXPECT_EQ(list.m_szBuffer, nullptr);
  EXPECT_EQ(list.m_nMaxKeyName + list.m_nMaxBufferSize, 0);
}

TEST(FileNameList, BadReserveArgumentsAreReportedAndChangeNothing) {
  AssertCapture capture;
  CFileNameList list;
  list.AddName("keep");
  list.Reserve(0, -1);
  EXPECT_EQ(capture.take(), (std::vector<std::string>{Report("count>0", 64),
                                                      Report("buf_size>0", 65)}));
  EXPECT_EQ(Text(list), "keep\n");
}

TEST(FileNameList, NegativeCountsAreReported) {
  AssertCapture capture;
  CFileNameList list;
  list.m_nKeyNameCount = -1;
  list.AddName("x");
  list.m_nKeyNameCount = 0;
  list.m_nBufferSize = -1;
  list.AddName("x");
  list.m_nBufferSize = 0;
  EXPECT_EQ(capture.take(),
            (std::vector<std::string>{
                Report("(m_nKeyNameCount>=0)&&(m_nMaxKeyName>=0)", 98),
                Report("(m_nMaxBufferSize>=0)&&(m_nBufferSize>=0)", 99)}));
  EXPECT_EQ(list.m_nKeyNameCount, 0);
  EXPECT_EQ(list.m_szBuffer, nullptr);
}

// Serves a fixed number of allocations, then fails.
class RationedAllocator : public CPacketAllocator {
 public:
  void* Alloc(unsigned int size, unsigned int) override {
    if (allowed == 0) return nullptr;
    --allowed;
    ++live;
    return std::aligned_alloc(16, (size + 15) / 16 * 16);
  }
  void Free(void* p) override {
    if (p) --live;
    std::free(p);
  }
  int allowed = 0;
  int live = 0;
};

TEST(FileNameList, FailedAllocationsLeaveTheListUsable) {
  AssertCapture capture;
  RationedAllocator host;
  g_vrkAllocator = &host;
  {
    CFileNameList list;
    host.allowed = 2;
    list.AddName("first");
    host.allowed = 0;
    for (int i = 1; i < 8; ++i) list.AddName("x");  // fits: no allocation
    capture.take();

    list.AddName("ninth");  // the index must grow: refused
    EXPECT_EQ(capture.take(), std::vector<std::string>{Report("temp_ary", 105)});
    EXPECT_EQ(list.m_nKeyNameCount, 8);
    host.allowed = 1;       // index yes, text no
    list.AddName("a-much-longer-name-that-needs-more-text");
    EXPECT_EQ(capture.take(), std::vector<std::string>{Report("temp_buf", 122)});
    EXPECT_EQ(list.m_nKeyNameCount, 8);
    EXPECT_EQ(list.m_nMaxKeyName, 8);

    list.Reserve(4, 64);
    EXPECT_EQ(capture.take(), std::vector<std::string>{Report("m_lpKeyName", 83)});
    host.allowed = 1;
    list.Reserve(4, 64);
    EXPECT_EQ(capture.take(), std::vector<std::string>{Report("m_szBuffer", 86)});
    EXPECT_EQ(list.m_nKeyNameCount, 8);
    EXPECT_EQ(Text(list), "first\nx\nx\nx\nx\nx\nx\nx\n");

    host.allowed = 2;
    list.AddName("ninth");
    EXPECT_EQ(list.m_nKeyNameCount, 9);
    char buf[8];
    ASSERT_TRUE(list.GetName(8, buf, 8));
    EXPECT_STREQ(buf, "ninth");
    EXPECT_TRUE(capture.reports().empty());
  }
  g_vrkAllocator = nullptr;
  EXPECT_EQ(host.live, 0);
}

}  // namespace
}  // namespace orvel
