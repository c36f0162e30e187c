#include "codec/Lzo1xDecode.h"

#include <gtest/gtest.h>
#include <lzo/lzo1x.h>

#include <random>
#include <string>
#include <vector>

#include "common/TestData.h"

using namespace orvel;
using Bytes = std::vector<unsigned char>;

namespace {

// Text-like bytes with repeats at every distance class the format has.
Bytes Repetitive(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes v;
  while (v.size() < n) {
    const unsigned kind = rng() % 4;
    if (kind == 0 || v.size() < 4) {
      v.push_back(static_cast<unsigned char>(rng()));
    } else {
      const size_t distance = 1 + rng() % std::min<size_t>(v.size(), kind == 1 ? 8 : 60000);
      const size_t length = 2 + rng() % (kind == 3 ? 600 : 20);
      for (size_t i = 0; i < length; ++i) v.push_back(v[v.size() - distance]);
    }
  }
  v.resize(n);
  return v;
}

Bytes Compress(const Bytes& data, bool best) {
  Bytes out(data.size() + data.size() / 16 + 64 + 3);
  std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  lzo_uint n = 0;
  if (best)
    lzo1x_999_compress(data.data(), data.size(), out.data(), &n, work.data());
  else
    lzo1x_1_compress(data.data(), data.size(), out.data(), &n, work.data());
  out.resize(n);
  return out;
}

struct Outcome {
  int status;
  Bytes bytes;  // the bytes produced, as many as reported
  bool operator==(const Outcome& o) const { return status == o.status && bytes == o.bytes; }
};

// Both decoders on the same stream and room; the stream and the output sit
// in buffers of exactly their size.
void ExpectSameAsReference(const Bytes& stream, size_t room, const std::string& what) {
  const Bytes in(stream);
  Bytes mine(room, 0xA5), theirs(room, 0xA5);
  size_t n = room;
  const int status = Lzo1xDecodeSafe(in.data(), in.size(), mine.data(), &n);
  lzo_uint m = room;
  const int reference = lzo1x_decompress_safe(in.data(), in.size(), theirs.data(), &m, nullptr);
  ASSERT_LE(n, room) << what;
  ASSERT_LE(m, room) << what;
  const Outcome a{status, Bytes(mine.begin(), mine.begin() + static_cast<long>(n))};
  const Outcome b{reference, Bytes(theirs.begin(), theirs.begin() + static_cast<long>(m))};
  ASSERT_TRUE(a == b) << what << ": status " << status << " vs " << reference << ", count "
                      << n << " vs " << m;
}

std::vector<Bytes> Inputs() {
  std::vector<Bytes> inputs = {Bytes(), Bytes(1, 'x'), Bytes(3, 0), Bytes(70000, 0)};
  for (size_t n : {4u, 17u, 300u, 5000u, 70000u}) {
    inputs.push_back(orvel_test::RandomBytes<Bytes>(n, static_cast<unsigned>(n)));
    inputs.push_back(Repetitive(n, static_cast<unsigned>(n)));
  }
  const std::string text = orvel_test::Text(20000, 'q');
  inputs.emplace_back(text.begin(), text.end());
  return inputs;
}

}  // namespace

TEST(Lzo1xDecode, ValidStreamsWithEveryRoomAroundTheirSize) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  for (const Bytes& data : Inputs()) {
    for (bool best : {true, false}) {
      const Bytes stream = Compress(data, best);
      const size_t n = data.size();
      for (size_t room : {n, n + 1, n + 100, n > 0 ? n - 1 : 0, n / 2, size_t{0}}) {
        ExpectSameAsReference(stream, room, std::to_string(n) + "/" + std::to_string(room));
      }
      // And it decodes right, not only like the reference.
      Bytes out(n);
      size_t got = n;
      ASSERT_EQ(Lzo1xDecodeSafe(stream.data(), stream.size(), out.data(), &got), kLzoOk);
      ASSERT_EQ(out, data);
    }
  }
}

TEST(Lzo1xDecode, TruncatedExtendedAndMutatedStreams) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  std::mt19937 rng(5);
  for (const Bytes& data : Inputs()) {
    if (data.size() > 6000) continue;
    const Bytes stream = Compress(data, true);
    // Every truncation, and bytes after the end marker.
    for (size_t cut = 0; cut <= stream.size(); ++cut)
      ExpectSameAsReference(Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)),
                            data.size(), "cut " + std::to_string(cut));
    Bytes longer(stream);
    longer.push_back(0);
    ExpectSameAsReference(longer, data.size(), "extended");
    // Random damage: one to four bytes set, some to the values that steer
    // the token decoding (0, 16, 17, 18, 32, 64, 255).
    const unsigned char telling[] = {0, 16, 17, 18, 32, 64, 255};
    for (int round = 0; round < 400 && !stream.empty(); ++round) {
      Bytes bad(stream);
      for (unsigned k = 0; k <= rng() % 4; ++k) {
        const unsigned char v = rng() % 2 ? telling[rng() % 7] : static_cast<unsigned char>(rng());
        bad[rng() % bad.size()] = v;
      }
      ExpectSameAsReference(bad, data.size() + rng() % 3, "mutation " + std::to_string(round));
    }
  }
}

TEST(Lzo1xDecode, HandMadeStreams) {
  ASSERT_EQ(lzo_init(), LZO_E_OK);
  // Each an edge of the grammar: the end marker alone, a first literal run
  // of each coded length, a match before any output, long length counters
  // of zero bytes, an end marker followed by data.
  const std::vector<Bytes> streams = {
      {0x11, 0x00, 0x00},
      {0x12, 'a', 0x11, 0x00, 0x00},
      {0x15, 'a', 'b', 'c', 'd', 0x11, 0x00, 0x00},
      {0x15, 'a', 'b', 'c', 'd', 0x01, 0x00, 0x11, 0x00, 0x00},
      {0x12, 'a', 0x00, 0x00, 0x11, 0x00, 0x00},
      {0x13, 'a', 'b', 0x04, 0x00, 0x11, 0x00, 0x00},
      {0x40, 0x00, 0x11, 0x00, 0x00},
      {0x00, 0x00, 0x00, 0x00, 0x01, 'a'},
      {0x20, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00},
      {0x16, 'a', 'b', 'c', 'd', 'e', 0x20, 0x00, 0x00, 0x01, 0x04, 0x00, 0x11, 0x00, 0x00},
      {0x14, 'x', 'y', 'z', 0x2f, 0x08, 0x00, 0x11, 0x00, 0x00, 0x00},
      {0x14, 'x', 'y', 'z', 0x10, 0x00, 0x00, 0x00, 0x00},
      {0x18, 1, 2, 3, 4, 5, 6, 7, 0x11, 0x00},
      {},
      {0x11},
  };
  for (size_t i = 0; i < streams.size(); ++i)
    for (size_t room : {0, 1, 3, 8, 40, 2000})
      ExpectSameAsReference(streams[i], room, "stream " + std::to_string(i));
}
