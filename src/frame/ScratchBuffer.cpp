#include "frame/ScratchBuffer.h"

#include <cstring>

#include "frame/Allocation.h"

namespace orvel {
namespace {
constexpr uintptr_t kPage = 4096;

bool IsSlowCopyDistance(const void* destination, uint32_t sourceOffset) {
  const uintptr_t distance =
      (reinterpret_cast<uintptr_t>(destination) - sourceOffset) & (kPage - 1);
  return distance != 0 && distance < 64;
}
}  // namespace

unsigned char* ScratchBuffer::For(uint32_t size, uint32_t offset, uint32_t bias) {
  const size_t need = size_t{size} + kPage;
  if (m_nSize < need) {
    // Grown with room to spare, so that a run of growing files does not
    // reallocate on every read.
    const size_t grown = need < 65536 ? 65536 : need + need / 4;
    void* bigger = VrkAlloc(grown);
    if (!bigger) return nullptr;
    Release();
    m_pBytes = static_cast<unsigned char*>(bigger);
    m_nSize = grown;
  }
  const uintptr_t base = reinterpret_cast<uintptr_t>(m_pBytes);
  return m_pBytes + ((uintptr_t{offset} + bias - base) & (kPage - 1));
}

unsigned ScratchBuffer::ReadPlaced(FileHandle file, void* out, uint32_t count,
                                   uint32_t offset) {
  if (count && IsSlowCopyDistance(out, offset)) {
    if (unsigned char* staging = For(count, offset, kPage / 2)) {
      const unsigned got = ReadDiskFileAt(file, staging, count, offset);
      std::memcpy(out, staging, got);
      return got;
    }
  }
  return ReadDiskFileAt(file, out, count, offset);
}

void ScratchBuffer::Release() {
  VrkFree(m_pBytes);
  m_pBytes = nullptr;
  m_nSize = 0;
}

}  // namespace orvel
