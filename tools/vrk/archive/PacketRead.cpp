#include "archive/PacketRead.h"

#include <OrvelPacket.h>
#include <lzo/lzo1x.h>

#include "archive/RemoteArchive.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"

namespace vrk {
namespace {

// The advanced archive reads a file's checksum word behind its bytes.
constexpr size_t kChecksumRoom = 4;

// LZO1X decodes in place when the stream ends this far behind the end of
// the decoded bytes.
size_t InPlaceMargin(size_t original) { return original / 16 + 64 + 3; }

}  // namespace

bool SizesArePlausible(size_t original, size_t stored, bool compressed) {
  if (!compressed) return original == stored;
  return original <= stored * 256 + 4096 && stored <= original + InPlaceMargin(original);
}

EntryBytes ReadEntry(const Packet& packet, const std::string& name) {
  const char* n = name.c_str();
  if (!packet.Contains(name)) throw ToolError(packet.About(name) + ": not in the archive");
  const size_t original = packet->GetFileOriginalSize(n);
  const size_t stored = packet->GetFileStoredSize(n);
  const bool compressed = packet->IsFileCompressed(n) != 0;
  const size_t decoded = compressed ? original + InPlaceMargin(original) : 0;
  if (!SizesArePlausible(original, stored, compressed))
    throw DamagedEntry(packet.About(name) + ": damaged: " + std::to_string(stored) +
                       " stored bytes cannot hold " + std::to_string(original));

  ByteBuffer buffer((compressed ? decoded : stored) + kChecksumRoom);
  unsigned char* place = buffer.Data() + (compressed ? buffer.Size() - stored - kChecksumRoom : 0);
  // The thread's own code: workers of a parallel extraction read at once.
  VrkClearThreadErrorCode();
  const int got = packet->ReadFileRaw(n, place, static_cast<unsigned>(stored + kChecksumRoom));
  const int set = VrkThreadErrorCode();
  const int code = set != VRKERR_OK ? set : VRKERR_DATA_IO;
  if (set != VRKERR_OK || static_cast<unsigned>(got) != stored) {
    // A read of the data or its checksum fails where the tables place them
    // past the archive's end (a cut archive) or the checksum does not match.
    // Over HTTP a short read is a failed transfer, not damage.
    if (IsUrl(packet.Path()) && code != VRKERR_CHECKSUM && IsTransferFailure(code))
      throw ToolError(DescribeRemoteFailure(packet.About(name), code));
    const ToolError e = LibraryError(packet.About(name), code);
    if (code == VRKERR_CHECKSUM || code == VRKERR_CHECKSUM_IO || code == VRKERR_DATA_IO)
      throw DamagedEntry(e.what());
    throw e;
  }
  if (compressed) {
    lzo_uint length = original;
    if (lzo1x_decompress_safe(place, stored, buffer.Data(), &length, nullptr) != LZO_E_OK ||
        length != original)
      throw DamagedEntry(packet.About(name) + ": compressed data is damaged");
  }
  buffer.Shrink(original);
  return EntryBytes(std::move(buffer), original);
}

}  // namespace vrk
