// The compressed list text is reused only for the very text it encodes.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "codec/CompressBuffer.h"
#include "codec/PackedTextCache.h"
#include "common/CountingAllocator.h"
#include "common/TestData.h"

namespace {

using orvel::CCompressBuffer;
using orvel::PackedTextCache;

std::string Packed(PackedTextCache& cache, CCompressBuffer& c, const std::string& text) {
  uint32_t size = 0;
  const unsigned char* p = cache.Pack(c, text.data(), static_cast<uint32_t>(text.size()), &size);
  return p ? std::string(reinterpret_cast<const char*>(p), size) : "<null>";
}

std::string Fresh(const std::string& text) {
  CCompressBuffer c;
  const unsigned char* p = c.CompressBuffer(text.data(), static_cast<unsigned>(text.size()));
  return std::string(reinterpret_cast<const char*>(p), c.m_nStoredSize);
}

TEST(PackedTextCache, GivesExactlyWhatCompressingGivesAndNoticesEveryChange) {
  CCompressBuffer c;
  PackedTextCache cache;
  const std::string a = orvel_test::Text(5000, 1);
  std::string b = a;
  b[4321] ^= 1;  // same length, one byte differs
  const std::string shorter = a.substr(0, 4999);
  for (const std::string* text : std::initializer_list<const std::string*>{&a, &a, &b, &a, &shorter, &shorter})
    EXPECT_EQ(Packed(cache, c, *text), Fresh(*text));
  // The compressor's own buffer is reused between calls; the cached copy is
  // not disturbed by other compressions.
  c.CompressBuffer("other text", 10);
  EXPECT_EQ(Packed(cache, c, shorter), Fresh(shorter));
}

TEST(PackedTextCache, WithoutMemoryForItsCopyItCompressesEachTime) {
  CCompressBuffer c;
  PackedTextCache cache;
  const std::string a = orvel_test::Text(3000, 2);
  const std::string expected = Fresh(a);
  c.CompressBuffer(a.data(), 3000);  // the compressor's own room is there
  orvel_test::CountingAllocator none;
  orvel_test::ScopedAllocator scoped(&none);
  none.fail_after(0);
  EXPECT_EQ(Packed(cache, c, a), expected);
  EXPECT_EQ(Packed(cache, c, a), expected);
  EXPECT_EQ(none.live(), 0u);
}

}  // namespace
