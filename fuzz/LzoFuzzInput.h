// The input layout the LZO differential fuzzers share: a mode byte, a
// little-endian 16-bit parameter, then the body. Also brings liblzo2 up
// once, since both compare against it.
#ifndef ORVEL_FUZZ_LZO_FUZZ_INPUT_H
#define ORVEL_FUZZ_LZO_FUZZ_INPUT_H

#include <lzo/lzo1x.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace orvel_fuzz {

struct LzoFuzzInput {
  unsigned mode;
  size_t param;
  const uint8_t* body;
  size_t size;
};

// False when liblzo2 failed to start or the input is shorter than its
// three header bytes: the target then has nothing to run.
inline bool ParseLzoFuzzInput(const uint8_t* data, size_t size, LzoFuzzInput* input) {
  static const bool ready = lzo_init() == LZO_E_OK;
  if (!ready || size < 3) return false;
  input->mode = data[0];
  input->param = data[1] | (size_t{data[2]} << 8);
  input->body = data + 3;
  input->size = size - 3;
  return true;
}

// A copy in an allocation of exactly its size, so that AddressSanitizer sees
// any read past it.
inline std::unique_ptr<unsigned char[]> ExactCopy(const std::vector<unsigned char>& bytes) {
  std::unique_ptr<unsigned char[]> copy(new unsigned char[bytes.size()]);
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

}  // namespace orvel_fuzz

#endif
