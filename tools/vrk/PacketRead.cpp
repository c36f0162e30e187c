#include "PacketRead.h"

#include <OrvelPacket.h>

#include "ErrorReport.h"
#include "PacketHandle.h"

namespace vrk {

FileBuffer::~FileBuffer() {
  if (data_) packet_->FreeBuffer(data_);
}

FileBuffer::FileBuffer(FileBuffer&& other) noexcept
    : packet_(other.packet_), data_(other.data_), size_(other.size_) {
  other.data_ = nullptr;
}

FileBuffer ReadWholeEntry(const Packet& packet, const std::string& name) {
  if (!packet.Contains(name)) throw ToolError(packet.About(name) + ": not in the archive");
  unsigned size = 0;
  g_nVrkErrCode = VRKERR_OK;
  void* data = packet->ReadFileAlloc(name.c_str(), &size, VRK_BY_NAME);
  if (!data) {
    // An empty file may come back as no buffer at all.
    if (g_nVrkErrCode == VRKERR_OK && packet->GetFileOriginalSize(name.c_str()) == 0)
      return FileBuffer(packet.get(), nullptr, 0);
    throw LibraryError(packet.About(name));
  }
  FileBuffer buffer(packet.get(), data, size);
  if (size != packet->GetFileOriginalSize(name.c_str()))
    throw ToolError(packet.About(name) + ": read " + std::to_string(size) +
                    " bytes where the archive records " +
                    std::to_string(packet->GetFileOriginalSize(name.c_str())));
  return buffer;
}

}  // namespace vrk
