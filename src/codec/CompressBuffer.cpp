// The compression buffer: one LZO1X stream per stored file, compressed with
// our LZO1X-999 (Lzo1x999Compress.h) into a reusable output buffer,
// decompressed with our bounds-checking LZO1X decoder (Lzo1xDecode.h).
#include "codec/CompressBuffer.h"

#include <cstring>
#include <memory>

#include "codec/Lzo1x999Compress.h"
#include "codec/Lzo1xDecode.h"
#include "frame/DiskFile.h"

namespace orvel {
namespace {

constexpr unsigned int kInitialCapacity = 65536;
constexpr unsigned int kSlack = 16;

// Bytes of output room for a buffer of usable size `capacity`, a multiple
// of 16 so that the work memory behind it stays aligned. The stream bound
// n + n/64 + 19 is what the buffer promises; LZO's own documented worst case
// (n + n/16 + 64 + 3) is larger, and the extra room makes sure the
// compressor, which does not check its output length, can never write
// outside the block whatever the input.
uint64_t RoomFor(uint64_t capacity) {
  return (Lzo1x999Bound(capacity) + kSlack + 15) / 16 * 16;
}

}  // namespace

CCompressBuffer::CCompressBuffer()
    : m_pBuffer(nullptr),
      m_nCapacity(kInitialCapacity),
      m_nOriginalSize(0),
      m_nStoredSize(0),
      m_pWorkMem(nullptr) {
  m_pBuffer = static_cast<unsigned char*>(VrkAlloc(RoomFor(m_nCapacity)));
}

CCompressBuffer::~CCompressBuffer() {
  VrkFree(m_pBuffer);
  m_pBuffer = nullptr;
}

bool CCompressBuffer::Reserve(unsigned int bound, bool forCompression) {
  if (m_pBuffer && m_nCapacity >= bound && (m_pWorkMem || !forCompression)) return true;
  // The buffer only grows: a null buffer (failed construction or failed
  // growth) is allocated at the larger of its recorded capacity and `bound`.
  // Output room and work memory come in one block, so one allocation
  // readies a compression.
  const unsigned int capacity = bound > m_nCapacity ? bound : m_nCapacity;
  const uint64_t room = RoomFor(capacity);
  const uint64_t work = forCompression ? Lzo1x999WorkSize(capacity) : 0;
  void* fresh = VrkAlloc(room + work);
  if (!fresh) return false;
  VrkFree(m_pBuffer);
  m_pBuffer = static_cast<unsigned char*>(fresh);
  m_pWorkMem = forCompression ? m_pBuffer + room : nullptr;
  m_nCapacity = capacity;
  return true;
}

bool CCompressBuffer::CompressInto(const void* data, unsigned int size) {
  static const unsigned char kNoData = 0;
  if (!data) {
    if (size != 0) return false;
    data = &kNoData;
  }
  size_t outLength = 0;
  if (!Lzo1x999Compress(static_cast<const unsigned char*>(data), size, m_pBuffer, &outLength,
                        m_pWorkMem))
    return false;
  m_nOriginalSize = size;
  m_nStoredSize = static_cast<unsigned int>(outLength);
  return true;
}

const unsigned char* CCompressBuffer::CompressBuffer(const void* data,
                                                     unsigned int size) {
  if (!data && size != 0) return nullptr;
  const uint64_t bound = CompressBound(size);
  // The usable size is kept in 32 bits.
  if (bound > 0xFFFFFFFFu - kSlack) return nullptr;
  if (!Reserve(static_cast<unsigned int>(bound), true)) return nullptr;
  if (!CompressInto(data, size)) return nullptr;
  return m_pBuffer;
}

namespace {

// Reads exactly `size` bytes from the current position; the file layer may
// move fewer bytes per call than asked.
bool ReadWhole(FileHandle file, unsigned char* out, unsigned int size) {
  while (size > 0) {
    const unsigned int got = ReadDiskFile(file, out, size);
    if (got == 0 || got > size) return false;
    out += got;
    size -= got;
  }
  return true;
}

struct FileCloser {
  FileHandle file;
  ~FileCloser() {
    if (file != kInvalidFile) CloseDiskFile(file);
  }
};

}  // namespace

const unsigned char* CCompressBuffer::CompressDiskFile(const char* path) {
  if (!path || !DiskFileExists(path)) return nullptr;
  FileCloser input{OpenDiskFile(path, kModeReadExclusive)};
  if (input.file == kInvalidFile) return nullptr;
  const unsigned int size = GetDiskFileSize(input.file);
  if (size == kFileFailure) return nullptr;
  const uint64_t bound = CompressBound(size);
  if (bound > 0xFFFFFFFFu - kSlack) return nullptr;
  if (!Reserve(static_cast<unsigned int>(bound), true)) return nullptr;

  std::unique_ptr<unsigned char, VrkFreeDeleter> data(
      static_cast<unsigned char*>(VrkAlloc(uint64_t{size} + kSlack)));
  if (!data) return nullptr;
  if (!ReadWhole(input.file, data.get(), size)) return nullptr;
  CloseDiskFile(input.file);
  input.file = kInvalidFile;

  if (!CompressInto(data.get(), size)) return nullptr;
  return m_pBuffer;
}

bool CCompressBuffer::Decompress(const void* stored, unsigned int storedSize,
                                 unsigned int originalSize, void* out) {
  if (!stored || (!out && originalSize != 0)) return false;
  unsigned char* dst = static_cast<unsigned char*>(out);
  // An empty output still needs a valid address for the decoder.
  unsigned char none = 0;
  if (!dst) dst = &none;
  size_t produced = originalSize;
  const int rc = Lzo1xDecodeSafe(static_cast<const unsigned char*>(stored), storedSize, dst,
                                 &produced);
  // A stream that overruns either limit, leaves input unread or comes up
  // short is rejected, and the sizes stay those of the last good operation.
  if (rc != kLzoOk || produced != originalSize) {
    // The bytes after the decoded ones are cleared: the decoder's wide
    // copies may have written ahead there, and no stale memory should reach
    // the caller (salvage keeps the lines before a break).
    if (produced < originalSize) std::memset(dst + produced, 0, originalSize - produced);
    return false;
  }
  m_nStoredSize = storedSize;
  m_nOriginalSize = originalSize;
  return true;
}

}  // namespace orvel
