#include "archive/ByteBuffer.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace vrk {

ByteBuffer::ByteBuffer(size_t size) : size_(size) {
  data_ = static_cast<unsigned char*>(std::malloc(size ? size : 1));
  if (!data_) throw std::bad_alloc();
}

ByteBuffer::~ByteBuffer() { std::free(data_); }

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  return *this;
}

void ByteBuffer::Shrink(size_t size) {
  if (size >= size_) return;
  // A smaller block never needs to move far; if realloc declines, the
  // larger block simply stays.
  if (void* smaller = std::realloc(data_, size ? size : 1)) data_ = static_cast<unsigned char*>(smaller);
  size_ = size;
}

}  // namespace vrk
