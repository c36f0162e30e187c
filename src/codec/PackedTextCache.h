// The compressed form of a text, kept with the text it encodes, so that
// writing the same text again costs a comparison instead of a compression.
// Compression is deterministic: the cached bytes are exactly what
// compressing the text again would give.
#ifndef ORVEL_CODEC_PACKED_TEXT_CACHE_H
#define ORVEL_CODEC_PACKED_TEXT_CACHE_H

#include <cstdint>

namespace orvel {

class CCompressBuffer;

// The cache is on unless a bench turns it off to measure what it saves.
void SetPackedTextCacheEnabled(bool enabled);
bool PackedTextCacheEnabled();

class PackedTextCache {
 public:
  PackedTextCache() = default;
  ~PackedTextCache() { Clear(); }
  PackedTextCache(const PackedTextCache&) = delete;
  PackedTextCache& operator=(const PackedTextCache&) = delete;

  // The compressed bytes of `size` bytes of `text` (their number in
  // *packedSize), compressed with `compressor` unless the cache holds this
  // very text; null when compression fails. Valid until the next call.
  const unsigned char* Pack(CCompressBuffer& compressor, const void* text, uint32_t size,
                            uint32_t* packedSize);
  // Takes `packed` as the compressed form of `text`, as read back from a
  // file; kept only when memory for the copies can be had.
  void Keep(const void* text, uint32_t size, const void* packed, uint32_t packedSize);
  void Clear();
  // Whether the cache holds the compressed form of exactly this text.
  bool Holds(const void* text, uint32_t size) const;

 private:
  unsigned char* m_pText = nullptr;
  uint32_t m_nTextSize = 0;
  unsigned char* m_pPacked = nullptr;
  uint32_t m_nPackedSize = 0;
};

}  // namespace orvel

#endif
