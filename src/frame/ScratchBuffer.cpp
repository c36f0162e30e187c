#include "frame/ScratchBuffer.h"

#include "frame/Allocation.h"

namespace orvel {
namespace {
constexpr uintptr_t kPage = 4096;
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

void ScratchBuffer::Release() {
  VrkFree(m_pBytes);
  m_pBytes = nullptr;
  m_nSize = 0;
}

}  // namespace orvel
