// An input file mapped read-only instead of read into the heap: its pages
// belong to the page cache, and the pages a reader is done with can be let
// go while it works on the rest (ReleaseBefore), so packing a large file
// holds little more than what the compressor writes.
#ifndef VRK_MAPPED_INPUT_H
#define VRK_MAPPED_INPUT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrk {

// Files must stay below 4 GiB: the archive addresses them with 32 bits.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull - 4096;

// "too large for an archive (...)": why a file of this size is refused.
std::string TooLargeReason();

class MappedInput {
 public:
  // Opens and maps `path`; on failure Ok() is false and Error() says why.
  // Its size is checked before any byte is read.
  explicit MappedInput(const std::string& path);
  ~MappedInput();
  MappedInput(const MappedInput&) = delete;
  MappedInput& operator=(const MappedInput&) = delete;

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  const unsigned char* Data() const { return data_; }
  size_t Size() const { return size_; }

  // Drops the pages wholly below `offset` from this process; they are read
  // again from the file if touched later.
  void ReleaseBefore(size_t offset);

 private:
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
  size_t released_ = 0;
  std::string error_;
};

}  // namespace vrk

#endif
