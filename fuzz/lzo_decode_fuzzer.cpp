// Differential fuzzing of our LZO1X decoder against liblzo2's
// lzo1x_decompress_safe: the two must agree on the status, the count and
// the bytes produced, for every stream and output room.
//
// Input: a mode byte, a little-endian 16-bit parameter, then the body.
//   mode bit 3 clear: the body is the stream as it comes;
//   mode bit 3 set:   the body is data, compressed (LZO1X-999, or LZO1X-1
//                     when bit 4 is set or the body is over 16 KiB, since
//                     LZO1X-999 would slow the run down) and then, unless the parameter is 0,
//                     cut at parameter % (size + 1) (parameter odd) or with
//                     the byte at parameter % size set to its high byte.
//   mode bits 0-2:    the output room: the parameter, the decoded size, one
//                     less, one more, 0, or 1 MiB.
// The stream and the output sit in allocations of exactly their size, so
// AddressSanitizer sees any access past either.
#include <lzo/lzo1x.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "LzoFuzzInput.h"
#include "codec/Lzo1xDecode.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Compress(const uint8_t* data, size_t size, bool fast) {
  static std::vector<unsigned char> work(LZO1X_999_MEM_COMPRESS);
  Bytes out(size + size / 16 + 64 + 3);
  lzo_uint n = 0;
  if (fast || size > (16 << 10))
    lzo1x_1_compress(data, size, out.data(), &n, work.data());
  else
    lzo1x_999_compress(data, size, out.data(), &n, work.data());
  out.resize(n);
  return out;
}

size_t ReferenceSize(const Bytes& stream) {
  static std::vector<unsigned char> out(1 << 20);
  lzo_uint n = out.size();
  lzo1x_decompress_safe(stream.data(), stream.size(), out.data(), &n, nullptr);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvel_fuzz::LzoFuzzInput input;
  if (!orvel_fuzz::ParseLzoFuzzInput(data, size, &input)) return 0;
  const unsigned mode = input.mode;
  const size_t param = input.param;

  Bytes stream;
  if (mode & 8) {
    stream = Compress(input.body, input.size, (mode & 16) != 0);
    if (param != 0 && (param & 1)) {
      stream.resize(param % (stream.size() + 1));
    } else if (param != 0) {
      stream[param % stream.size()] = static_cast<unsigned char>(param >> 8);
    }
  } else {
    stream.assign(input.body, input.body + input.size);
  }

  size_t room = 0;
  switch (mode & 7) {
    case 0: room = param; break;
    case 1: room = ReferenceSize(stream); break;
    case 2: room = ReferenceSize(stream); room -= room > 0; break;
    case 3: room = ReferenceSize(stream) + 1; break;
    case 4: room = 0; break;
    default: room = 1 << 20; break;
  }

  // Exact-size copies of the stream for each decoder; exact-size outputs.
  const std::unique_ptr<unsigned char[]> in1 = orvel_fuzz::ExactCopy(stream);
  const std::unique_ptr<unsigned char[]> in2 = orvel_fuzz::ExactCopy(stream);
  std::unique_ptr<unsigned char[]> mine(new unsigned char[room]);
  std::unique_ptr<unsigned char[]> theirs(new unsigned char[room]);
  size_t n = room;
  const int status = orvel::Lzo1xDecodeSafe(in1.get(), stream.size(), mine.get(), &n);
  lzo_uint m = room;
  const int reference = lzo1x_decompress_safe(in2.get(), stream.size(), theirs.get(), &m, nullptr);
  if (status != reference || n != m || n > room ||
      (n > 0 && std::memcmp(mine.get(), theirs.get(), n) != 0))
    std::abort();
  return 0;
}
