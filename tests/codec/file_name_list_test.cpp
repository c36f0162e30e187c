#include "codec/FileNameList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace orvel;

static std::string Text(const CFileNameList& list) {
  return std::string(list.m_szBuffer, list.m_szBuffer + list.m_nBufferSize);
}

// Bytes from the end of the text to the end of the buffer are all zero.
static bool TailIsZero(const CFileNameList& list) {
  for (int i = list.m_nBufferSize; i < list.m_nMaxBufferSize; ++i)
    if (list.m_szBuffer[i] != 0) return false;
  return list.m_nBufferSize < list.m_nMaxBufferSize;
}

static std::string Entry(const CFileNameList& list, int i) {
  return std::to_string(list.m_lpKeyName[i].offset) + "+" +
         std::to_string(list.m_lpKeyName[i].length);
}

TEST(FileNameList, AddRemoveGetNameAndReserve) {
  CFileNameList list;
  for (const char* n : {"a", "bc", "a", ""}) list.AddName(n);
  list.AddName(nullptr);
  ASSERT_EQ(list.m_nKeyNameCount, 3);
  EXPECT_EQ(Text(list), "a\nbc\na\n");
  EXPECT_EQ(Entry(list, 0) + " " + Entry(list, 1) + " " + Entry(list, 2), "0+2 2+3 5+2");
  EXPECT_TRUE(TailIsZero(list));

  char buf[16];
  EXPECT_TRUE(list.GetName(1, buf, 2) && std::string(buf) == "b");
  std::memset(buf, 'x', sizeof buf);
  EXPECT_FALSE(list.GetName(3, buf, 16));
  EXPECT_EQ(std::string(buf, 16), std::string(16, '\0'));
  EXPECT_FALSE(list.GetName(-1, buf, 16) || list.GetName(0, nullptr, 16));
  // A size below 1 copies nothing at all.
  buf[0] = 'x';
  EXPECT_FALSE(list.GetName(0, buf, 0) || list.GetName(0, buf, -4));
  EXPECT_EQ(buf[0], 'x');

  // The first match is entry 0, which is never removed; matching is exact.
  for (const char* n : {"a", "BC", "b", "zz"}) list.RemoveName(n);
  EXPECT_EQ(Text(list), "a\nbc\na\n");
  list.RemoveName("bc");
  ASSERT_EQ(list.m_nKeyNameCount, 2);
  EXPECT_EQ(Text(list), "a\na\n");
  EXPECT_EQ(Entry(list, 1) + " " + Entry(list, 2), "2+2 0+0");
  EXPECT_TRUE(TailIsZero(list));

  // Reserve empties the list and sizes it exactly.
  list.Reserve(3, 10);
  for (const char* n : {"abc", "de"}) list.AddName(n);
  EXPECT_EQ(Text(list) + std::to_string(list.m_nMaxKeyName) + std::to_string(list.m_nMaxBufferSize),
            "abc\nde\n310");  // 7 of 10 bytes used, room remains
  EXPECT_TRUE(TailIsZero(list));
}

TEST(FileNameList, IndexGrowsFromEightToSixteenThenGeometrically) {
  CFileNameList list;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    const std::string name = "dir\\file" + std::to_string(i * 7919 % 10007);
    list.AddName(name.c_str());
    expected += name + "\n";
    if (i == 7 || i == 8) { EXPECT_EQ(list.m_nMaxKeyName, i == 7 ? 8 : 16); }
    if (i == 8) { EXPECT_EQ(Entry(list, 9), "0+0"); }  // spare entries are zero
  }
  ASSERT_EQ(Text(list), expected);
  EXPECT_TRUE(TailIsZero(list));
  unsigned offset = 0;
  for (int i = 0; i < list.m_nKeyNameCount; offset += list.m_lpKeyName[i++].length)
    ASSERT_EQ(list.m_lpKeyName[i].offset, offset);
  char buf[32];
  ASSERT_TRUE(list.GetName(8, buf, sizeof buf));
  EXPECT_STREQ(buf, "dir\\file3310");
}
