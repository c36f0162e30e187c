#include "codec/PackedTextCache.h"

#include <atomic>
#include <cstring>

#include "codec/CompressBuffer.h"
#include "frame/Allocation.h"

namespace orvel {

namespace {
std::atomic<bool> g_enabled{true};
}  // namespace

void SetPackedTextCacheEnabled(bool enabled) { g_enabled.store(enabled); }
bool PackedTextCacheEnabled() { return g_enabled.load(std::memory_order_relaxed); }

void PackedTextCache::Clear() {
  VrkFree(m_pText);
  VrkFree(m_pPacked);
  m_pText = m_pPacked = nullptr;
  m_nTextSize = m_nPackedSize = 0;
}

bool PackedTextCache::Holds(const void* text, uint32_t size) const {
  return m_pPacked && text && size == m_nTextSize && std::memcmp(m_pText, text, size) == 0;
}

void PackedTextCache::Keep(const void* text, uint32_t size, const void* packed,
                           uint32_t packedSize) {
  Clear();
  m_pText = static_cast<unsigned char*>(VrkAlloc(size ? size : 1));
  m_pPacked = static_cast<unsigned char*>(VrkAlloc(packedSize ? packedSize : 1));
  if (!m_pText || !m_pPacked) return Clear();
  std::memcpy(m_pText, text, size);
  std::memcpy(m_pPacked, packed, packedSize);
  m_nTextSize = size;
  m_nPackedSize = packedSize;
}

const unsigned char* PackedTextCache::Pack(CCompressBuffer& compressor, const void* text,
                                           uint32_t size, uint32_t* packedSize) {
  if (m_pPacked && g_enabled.load(std::memory_order_relaxed) && size == m_nTextSize &&
      std::memcmp(text, m_pText, size) == 0) {
    *packedSize = m_nPackedSize;
    return m_pPacked;
  }
  Clear();
  const unsigned char* packed = compressor.CompressBuffer(text, size);
  if (!packed) return nullptr;
  *packedSize = compressor.m_nStoredSize;
  // Keeping a copy is an optimisation only: without memory the next write
  // compresses again.
  Keep(text, size, packed, *packedSize);
  return packed;
}

}  // namespace orvel
