// Reading one whole file out of an archive into memory the caller owns.
#ifndef VRK_PACKET_READ_H
#define VRK_PACKET_READ_H

#include <memory>
#include <string>

class IOrvelPacket;

namespace vrk {

class Packet;

// A buffer from ReadFileAlloc, handed back with FreeBuffer.
class FileBuffer {
 public:
  FileBuffer(IOrvelPacket* packet, void* data, unsigned size)
      : packet_(packet), data_(data), size_(size) {}
  ~FileBuffer();
  FileBuffer(FileBuffer&& other) noexcept;
  FileBuffer(const FileBuffer&) = delete;
  FileBuffer& operator=(const FileBuffer&) = delete;
  FileBuffer& operator=(FileBuffer&&) = delete;
  const void* Data() const { return data_; }
  unsigned Size() const { return size_; }

 private:
  IOrvelPacket* packet_;
  void* data_;
  unsigned size_;
};

// Reads `name` whole (checksums verified where the archive keeps them).
// Throws ToolError naming the archive and the file; a missing file is
// reported as such.
FileBuffer ReadWholeEntry(const Packet& packet, const std::string& name);

}  // namespace vrk

#endif
