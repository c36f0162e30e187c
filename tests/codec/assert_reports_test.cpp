// Every assertion report the codecs raise, with its exact text, and what the
// reporting call leaves behind.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <vector>

#include "codec/FileNameList.h"
#include "codec/checksum_crc.h"
#include "frame/AssertReport.h"
#include "common/CountingAllocator.h"

using namespace orvel;
using ListCall = std::function<void(CFileNameList&)>;

static std::vector<std::string> g_reports;
static void Collect(const char* message) { g_reports.push_back(message); }

// Builds an eight-name list, makes `call` with `allowed` allocations served
// (negative: all), then checks that the list is unchanged, still takes a
// ninth name once memory is back, and that every block is returned.
static void OnList(long allowed, const ListCall& call) {
  orvel_test::CountingAllocator host;
  {
    orvel_test::ScopedAllocator use(&host);
    CFileNameList list;
    for (int i = 0; i < 8; ++i) list.AddName(i ? "x" : "first");
    host.fail_after(allowed);
    call(list);
    EXPECT_EQ(list.m_nKeyNameCount * 100 + list.m_nMaxKeyName, 808);
    EXPECT_EQ(std::string(list.m_szBuffer, list.m_nBufferSize), "first\nx\nx\nx\nx\nx\nx\nx\n");
    host.fail_after(-1);
    list.AddName("ninth");
    EXPECT_EQ(std::string(list.m_szBuffer + 20, list.m_nBufferSize - 20), "ninth\n");
  }
  EXPECT_EQ(host.live(), 0u);
}

TEST(AssertReports, ExactTextsAndNothingChanged) {
  const char *crc = "checksum_crc.cpp", *list = "FileNameList.cpp";
  unsigned long value = 0xABCDEF01;
  const struct {
    const char* source;
    std::function<void()> run;
    std::vector<std::pair<const char*, int>> want;
  } cases[] = {
      {crc, [] { InitCRC(nullptr), FinishCRC(nullptr), UpdateCRC(nullptr, "abc", 3); },
       {{"pulCRC", 79}, {"pulCRC", 85}, {"pulCRC", 100}}},
      {crc, [&] { UpdateCRC(&value, nullptr, 10); }, {{"pBuffer", 101}}},
      {crc, [&] { UpdateCRC(&value, "x", 0), UpdateCRC(&value, "x", INT_MIN); },
       {{"nBuffer>0", 102}, {"nBuffer>0", 102}}},
      // A size of 0 compares the check value with 0 (the CRC of nothing).
      {crc, [] { EXPECT_EQ(VerifyCRC("abc", 0, 0) * 2 + VerifyCRC("abc", 0, 1), 2); },
       {{"size>0", 186}, {"nBuffer>0", 102}, {"size>0", 186}, {"nBuffer>0", 102}}},
      {crc, [] { EXPECT_EQ(VerifyCRC(nullptr, 16, 0), 1); }, {{"buffer", 185}, {"pBuffer", 101}}},
      {list, [] { OnList(-1, [](CFileNameList& l) { l.Reserve(0, -1); }); },
       {{"count>0", 64}, {"buf_size>0", 65}}},
      {list, [] { OnList(-1, [](CFileNameList& l) { l.m_nKeyNameCount = -1, l.AddName("x"), l.m_nKeyNameCount = 8; }); },
       {{"(m_nKeyNameCount>=0)&&(m_nMaxKeyName>=0)", 98}}},
      {list, [] { OnList(-1, [](CFileNameList& l) { l.m_nBufferSize = -1, l.AddName("x"), l.m_nBufferSize = 20; }); },
       {{"(m_nMaxBufferSize>=0)&&(m_nBufferSize>=0)", 99}}},
      {list, [] { OnList(0, [](CFileNameList& l) { l.AddName("ninth"); }); }, {{"temp_ary", 105}}},
      {list, [] { OnList(1, [](CFileNameList& l) { l.AddName("a-much-longer-name-than-fits-the-text"); }); },
       {{"temp_buf", 122}}},
      {list, [] { OnList(0, [](CFileNameList& l) { l.Reserve(4, 64); }); }, {{"m_lpKeyName", 83}}},
      {list, [] { OnList(1, [](CFileNameList& l) { l.Reserve(4, 64); }); }, {{"m_szBuffer", 86}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> want;
    for (const auto& w : c.want)
      want.push_back(std::string("Assert Fail, ") + w.first + ", File .\\" + c.source +
                     " (Line " + std::to_string(w.second) + ")");
    g_reports.clear(), SetAssertHook(Collect), c.run(), SetAssertHook(nullptr);
    EXPECT_EQ(g_reports, want);
  }
  EXPECT_EQ(value, 0xABCDEF01ul);
}
