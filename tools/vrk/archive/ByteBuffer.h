// Memory for file contents that is not touched before it is written: large
// buffers come from fresh pages (the C library maps them), so only the bytes
// actually written count against the process, and shrinking one gives its
// tail back without copying.
#ifndef VRK_BYTE_BUFFER_H
#define VRK_BYTE_BUFFER_H

#include <cstddef>

namespace vrk {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  // Throws std::bad_alloc.
  explicit ByteBuffer(size_t size);
  ~ByteBuffer();
  ByteBuffer(ByteBuffer&& other) noexcept;
  ByteBuffer& operator=(ByteBuffer&& other) noexcept;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  unsigned char* Data() const { return data_; }
  size_t Size() const { return size_; }
  // Keeps the first `size` bytes (no larger than now).
  void Shrink(size_t size);

 private:
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace vrk

#endif
