#include "FuzzListText.h"

#include <lzo/lzo1x.h>

#include <vector>

#include "FuzzLayout.h"
#include "advance/AdvanceFormat.h"
#include "archive/BasicFormat.h"

namespace orvel_fuzz {

namespace {

using orvel::AdvanceBlockEntry;
namespace basic = orvel::basic;

// Texts larger than this are left alone: decoding them is slow and adds
// nothing that a smaller list does not reach.
constexpr uint32_t kMaxText = 1u << 22;

bool Decode(const char* stored, size_t storedSize, uint32_t originalSize, bool compressed,
            std::string* text) {
  if (!compressed) {
    text->assign(stored, storedSize);
    return true;
  }
  if (originalSize > kMaxText) return false;
  text->resize(originalSize);
  lzo_uint n = originalSize;
  const int rc = lzo1x_decompress_safe(reinterpret_cast<const unsigned char*>(stored), storedSize,
                                       reinterpret_cast<unsigned char*>(&(*text)[0]), &n, nullptr);
  return rc == LZO_E_OK && n == originalSize;
}

// LZO1X-1 rather than the library's LZO1X-999: the reader takes any LZO1X
// stream, and this one is fast enough to run on every mutation.
std::string Compress(const std::string& text) {
  static const bool ready = lzo_init() == LZO_E_OK;
  if (!ready) return {};
  std::vector<unsigned char> work(LZO1X_1_MEM_COMPRESS);
  std::string out(text.size() + text.size() / 16 + 64 + 3, '\0');
  lzo_uint n = 0;
  lzo1x_1_compress(reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                   reinterpret_cast<unsigned char*>(&out[0]), &n, work.data());
  out.resize(n);
  return out;
}

// The plain block entry of "(listfile)" in a basic archive: through its hash
// entry, whose block index names a ring position on disk.
size_t BasicListEntry(const std::string& a) {
  const Span blocks = BasicBlockTable(a), hashes = BasicHashTable(a);
  if (!blocks.valid || !hashes.valid || hashes.size == 0) return 0;
  const uint32_t size = static_cast<uint32_t>(hashes.size / sizeof(orvel::HashEntry));
  const uint32_t first =
      GetWord(a, basic::kHeaderOffset + offsetof(basic::PacketHeader, ringFirst));
  for (size_t at = hashes.at; at < hashes.at + hashes.size; at += sizeof(orvel::HashEntry)) {
    if (!IsListFileEntry(a, at)) continue;
    const uint32_t ring = (GetWord(a, at + 12) - first) & (size - 1);
    const size_t entry = blocks.at + size_t{ring} * sizeof(basic::BlockEntry);
    if (entry + sizeof(basic::BlockEntry) <= blocks.at + blocks.size) return entry;
  }
  return 0;
}

}  // namespace

bool DecodeListSide(const std::string& lst, std::string* text) {
  const Span stored = ListText(lst);
  if (!stored.valid) return false;
  const uint32_t flags = GetWord(lst, offsetof(AdvanceBlockEntry, flags));
  return Decode(&lst[stored.at], stored.size,
                GetWord(lst, offsetof(AdvanceBlockEntry, originalSize)),
                (flags & orvel::kFileCompressed) != 0, text);
}

void EncodeListSide(std::string& lst, const std::string& text) {
  const std::string stored = Compress(text);
  std::string record = lst.substr(0, sizeof(AdvanceBlockEntry));
  record.resize(sizeof(AdvanceBlockEntry) + orvel::kChecksumSize, '\0');
  PutWord(record, offsetof(AdvanceBlockEntry, flags),
          GetWord(record, offsetof(AdvanceBlockEntry, flags)) | orvel::kFileCompressed);
  PutWord(record, offsetof(AdvanceBlockEntry, offset), orvel::kListRecordSize);
  PutWord(record, offsetof(AdvanceBlockEntry, storedSize), static_cast<uint32_t>(stored.size()));
  PutWord(record, offsetof(AdvanceBlockEntry, originalSize), static_cast<uint32_t>(text.size()));
  lst = record + stored + std::string(orvel::kChecksumSize, '\0');
}

bool DecodeBasicList(const std::string& a, std::string* text) {
  const size_t entry = BasicListEntry(a);
  if (!entry) return false;
  const uint32_t offset = GetWord(a, entry + offsetof(basic::BlockEntry, offset));
  const uint32_t storedSize = GetWord(a, entry + offsetof(basic::BlockEntry, storedSize));
  if (uint64_t{offset} + storedSize > a.size()) return false;
  const uint32_t flags = GetWord(a, entry + offsetof(basic::BlockEntry, flags));
  return Decode(&a[offset], storedSize,
                GetWord(a, entry + offsetof(basic::BlockEntry, originalSize)),
                (flags & basic::kFileCompressed) != 0, text);
}

bool EncodeBasicList(std::string& a, const std::string& text, size_t maxSize) {
  const size_t entry = BasicListEntry(a);
  const std::string stored = Compress(text);
  if (!entry || a.size() + stored.size() > maxSize) return false;
  PutWord(a, entry + offsetof(basic::BlockEntry, offset), static_cast<uint32_t>(a.size()));
  PutWord(a, entry + offsetof(basic::BlockEntry, storedSize), static_cast<uint32_t>(stored.size()));
  PutWord(a, entry + offsetof(basic::BlockEntry, originalSize), static_cast<uint32_t>(text.size()));
  PutWord(a, entry + offsetof(basic::BlockEntry, flags),
          GetWord(a, entry + offsetof(basic::BlockEntry, flags)) | basic::kFileCompressed);
  a += stored;
  return true;
}

}  // namespace orvel_fuzz
