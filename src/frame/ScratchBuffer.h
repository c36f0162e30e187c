// A buffer reused between reads of stored files, placed for fast copies out
// of the page cache: on some CPUs a copy whose destination lies a few bytes
// past its source modulo a page runs many times slower, and reads from the
// page cache are such copies. The place handed out for bytes read from file
// offset `offset` therefore lies `bias` bytes past that offset modulo a page.
#ifndef ORVEL_FRAME_SCRATCH_BUFFER_H
#define ORVEL_FRAME_SCRATCH_BUFFER_H

#include <cstddef>
#include <cstdint>

#include "frame/DiskFile.h"

namespace orvel {

class ScratchBuffer {
 public:
  ScratchBuffer() = default;
  ~ScratchBuffer() { Release(); }
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;

  // Room for `size` bytes read from `offset`; null when out of memory. The
  // room stays valid until the next call or Release.
  unsigned char* For(uint32_t size, uint32_t offset, uint32_t bias = 0);
  // Reads `count` bytes at `offset` of `file` into `out` as ReadDiskFileAt
  // does, but through this buffer when `out` lies a few bytes past the offset
  // modulo a page. `out` may be room from For for the same offset, never
  // other room of this buffer.
  unsigned ReadPlaced(FileHandle file, void* out, uint32_t count, uint32_t offset);
  void Release();

 private:
  unsigned char* m_pBytes = nullptr;
  size_t m_nSize = 0;
};

}  // namespace orvel

#endif
