// Differential fuzzing of our LZO1X-999 compressor against liblzo2's
// lzo1x_999_compress_level: the two streams must be the same bytes.
//
// Input: a mode byte, a little-endian 16-bit parameter, then the body.
//   mode bits 0-3: the level, 1 to 9 for 0 to 8, the default (8) above;
//   mode bits 4-6: what is compressed, of parameter * 16 bytes (up to 1 MiB)
//     except for 0:
//       0 the body as it comes;
//       1 the body over and over (highly repetitive);
//       2 random bytes from a seed taken from the body, with pieces of the
//         body dropped in now and then;
//       3 text-like: the body's space-separated words in a random order;
//       4 the body over and over with one byte in `body size + 1` changed.
// The input sits in an allocation of exactly its size, so AddressSanitizer
// sees any read past it.
#include <lzo/lzo1x.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "LzoFuzzInput.h"
#include "codec/Lzo1x999Compress.h"

namespace {

using Bytes = std::vector<unsigned char>;

uint32_t SeedOf(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
  return h;
}

Bytes Shape(unsigned kind, const uint8_t* body, size_t size, size_t length) {
  if (kind == 0 || size == 0) return Bytes(body, body + size);
  std::mt19937 rng(SeedOf(body, size));
  Bytes v;
  v.reserve(length);
  switch (kind) {
    case 1:
    case 4:
      while (v.size() < length) {
        v.insert(v.end(), body, body + size);
        if (kind == 4) v.push_back(static_cast<unsigned char>(rng()));
      }
      break;
    case 2:
      while (v.size() < length) {
        if (rng() % 8 == 0) {
          const size_t at = rng() % size;
          v.insert(v.end(), body + at, body + size);
        } else {
          for (int i = rng() % 64; i >= 0; --i) v.push_back(static_cast<unsigned char>(rng()));
        }
      }
      break;
    default: {
      std::vector<std::pair<size_t, size_t>> words;
      size_t start = 0;
      for (size_t i = 0; i <= size; ++i) {
        if (i == size || body[i] == ' ') {
          words.emplace_back(start, i + (i < size ? 1 : 0) - start);
          start = i + 1;
        }
      }
      while (v.size() < length) {
        const auto& w = words[rng() % words.size()];
        v.insert(v.end(), body + w.first, body + w.first + w.second);
        v.push_back(' ');
      }
      break;
    }
  }
  v.resize(length);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvel_fuzz::LzoFuzzInput input;
  if (!orvel_fuzz::ParseLzoFuzzInput(data, size, &input)) return 0;
  const unsigned mode = input.mode;
  const int level = (mode & 15) < 9 ? static_cast<int>(mode & 15) + 1 : 8;
  const Bytes shaped = Shape((mode >> 4) & 7, input.body, input.size, input.param * 16);

  const std::unique_ptr<unsigned char[]> in = orvel_fuzz::ExactCopy(shaped);
  const size_t bound = orvel::Lzo1x999Bound(shaped.size());
  std::unique_ptr<unsigned char[]> mine(new unsigned char[bound]);
  std::unique_ptr<unsigned char[]> theirs(new unsigned char[bound]);
  static std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  static orvel::Lzo1x999Compressor ours;

  size_t n = 0;
  if (!ours.Compress(in.get(), shaped.size(), mine.get(), &n, level)) std::abort();
  lzo_uint m = 0;
  if (lzo1x_999_compress_level(in.get(), shaped.size(), theirs.get(), &m, work.data(), nullptr, 0,
                               nullptr, level) != LZO_E_OK)
    std::abort();
  if (n != m || n > bound || std::memcmp(mine.get(), theirs.get(), n) != 0) std::abort();
  return 0;
}
