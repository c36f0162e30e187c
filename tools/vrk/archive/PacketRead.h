// Reading one whole file out of an archive, holding a single copy of its
// contents: a compressed file's stored stream is read into the tail of the
// buffer it decodes into and decoded in place, as LZO1X allows.
#ifndef VRK_PACKET_READ_H
#define VRK_PACKET_READ_H

#include <cstddef>
#include <string>

#include "archive/ByteBuffer.h"
#include "console/ErrorReport.h"

namespace vrk {

// A file whose stored bytes fail their checksum, lie past the end of the
// archive or do not decode to the recorded size: the archive is damaged
// there, not the disk or the command.
class DamagedEntry : public ToolError {
 public:
  using ToolError::ToolError;
};

class Packet;

class EntryBytes {
 public:
  EntryBytes(ByteBuffer buffer, size_t size) : buffer_(std::move(buffer)), size_(size) {}
  const unsigned char* Data() const { return buffer_.Data(); }
  size_t Size() const { return size_; }

 private:
  ByteBuffer buffer_;
  size_t size_;
};

// Whether an entry's recorded original size can come from its stored
// bytes: no LZO1X stream expands more than 256 times (plus a little), and a
// file stored as it is has the two sizes equal. Checked before anything is
// allocated for the original size, which a hostile archive may inflate.
bool SizesArePlausible(size_t original, size_t stored, bool compressed);

// Reads `name` whole: checksums are verified where the archive keeps them,
// and a compressed stream must decode to exactly the recorded size (a
// bounds-checking decoder is used). Throws ToolError naming the archive and
// the file, DamagedEntry when its stored bytes are at fault; a missing file
// is reported as such.
EntryBytes ReadEntry(const Packet& packet, const std::string& name);

}  // namespace vrk

#endif
