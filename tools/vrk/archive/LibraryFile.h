// A file read through the library's file layer (orvel/VrkReadFile.h): a path
// on disk or a URL, which the library fetches over HTTP(S) with the same
// headers, retries and identity checks as an archive at a URL.
#ifndef VRK_LIBRARY_FILE_H
#define VRK_LIBRARY_FILE_H

#include <OrvelPacket.h>

#include <cstdint>
#include <string>

namespace vrk {

class LibraryFile {
 public:
  // `how`: VRK_READ_WHOLE or VRK_READ_EXACT. Open() is false when the file
  // could not be opened; VrkLastSystemError says why.
  LibraryFile(const std::string& path, unsigned how) : handle_(VrkOpenReadFile(path.c_str(), how)) {}
  ~LibraryFile() { VrkCloseReadFile(handle_); }
  LibraryFile(const LibraryFile&) = delete;
  LibraryFile& operator=(const LibraryFile&) = delete;

  bool Open() const { return handle_ != -1; }
  // 0xFFFFFFFF when unknown.
  uint32_t Size() const { return VrkGetReadFileSize(handle_); }
  // True when all `count` bytes at `offset` were read.
  bool ReadAt(void* out, uint32_t count, uint32_t offset) const {
    return count == 0 || VrkReadFileAt(handle_, out, count, offset) == count;
  }

 private:
  int handle_;
};

}  // namespace vrk

#endif
