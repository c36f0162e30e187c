#include "archive/SalvageState.h"

#include <algorithm>
#include <cstring>

#include "codec/NameHash.h"

namespace orvel {

SalvageInput::SalvageInput(const char* path) {
  handle = OpenDiskFileEx(path, kModeReadShared, kAttrNormal);
  if (handle == kInvalidFile) return;
  const uint32_t s = GetDiskFileSize(handle);
  size = s == kFileFailure ? 0 : s;
}

SalvageInput::~SalvageInput() {
  if (handle != kInvalidFile) CloseDiskFile(handle);
}

bool SalvageInput::Read(void* out, uint64_t count, uint64_t offset) const {
  if (offset + count > size) return false;
  return count == 0 || ReadDiskFileAt(handle, out, static_cast<unsigned>(count),
                                      static_cast<unsigned>(offset)) == count;
}

bool SalvageInput::ReadEntries(uint64_t offset, uint32_t count, uint32_t entrySize,
                               SalvageBlock* bytes, uint32_t* read) const {
  *read = 0;
  if (offset >= size || count == 0) return true;
  const uint64_t want = std::min<uint64_t>(uint64_t{count} * entrySize, size - offset);
  const uint64_t whole = want - want % entrySize;
  bytes->reset(static_cast<unsigned char*>(VrkAlloc(whole ? whole : 1)));
  if (!*bytes) return false;
  if (!Read(bytes->get(), whole, offset)) return true;
  *read = static_cast<uint32_t>(whole / entrySize);
  return true;
}

}  // namespace orvel

using namespace orvel;

CVrkSalvage::State::State() { InitCryptTable(cryptTable); }

CVrkSalvage::State::~State() {
  if (archive != kInvalidFile) CloseDiskFile(archive);
  for (uint32_t i = 0; i < count; ++i) HeapStrFree(const_cast<char*>(entries[i].name));
  VrkFree(entries);
  delete compressor;
}

bool CVrkSalvage::State::Reserve(uint64_t more) {
  if (count + more <= capacity) return true;
  const uint64_t want = std::max<uint64_t>(count + more, uint64_t{capacity} * 2);
  if (want > 0xFFFFFFFFu) return false;
  auto* grown = static_cast<VrkSalvageEntry*>(VrkAlloc(sizeof(VrkSalvageEntry) * want));
  if (!grown) return false;
  if (count) std::memcpy(grown, entries, sizeof(VrkSalvageEntry) * count);
  VrkFree(entries);
  entries = grown;
  capacity = static_cast<uint32_t>(want);
  return true;
}

void CVrkSalvage::State::Sort() {
  std::sort(entries, entries + count, [](const VrkSalvageEntry& a, const VrkSalvageEntry& b) {
    return a.hash[0] != b.hash[0] ? a.hash[0] < b.hash[0] : a.offset < b.offset;
  });
}

VrkSalvageEntry* CVrkSalvage::State::Find(const unsigned int hash[3]) {
  VrkSalvageEntry* end = entries + count;
  VrkSalvageEntry* it = std::lower_bound(
      entries, end, hash[0],
      [](const VrkSalvageEntry& e, unsigned int h) { return e.hash[0] < h; });
  for (; it != end && it->hash[0] == hash[0]; ++it)
    if (it->origin == VRK_SALVAGE_FROM_TABLES && it->hash[1] == hash[1] && it->hash[2] == hash[2]) return it;
  return nullptr;
}

bool CVrkSalvage::State::Name(const char* name, bool replace) {
  char lower[kMaxNameLength + 1];
  if (!LowerCaseName(name, lower) || !*lower || HasLineBreak(lower)) return false;
  unsigned int hash[3];
  HashNameAll(lower, cryptTable, hash);
  VrkSalvageEntry* e = Find(hash);
  if (!e || (e->name && !replace)) return false;
  char* copy = HeapStrDup(lower);
  if (!copy) return false;
  HeapStrFree(const_cast<char*>(e->name));
  e->name = copy;
  return true;
}

void CVrkSalvage::State::NameFromLines(char* p, size_t length) {
  char* end = p + length;
  while (p < end) {
    char* lf = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    char* stop = lf ? lf : end;
    *stop = 0;
    if (*p) Name(p, false);
    p = stop + 1;
  }
}

void CVrkSalvage::State::NameFromStoredList(const unsigned char* stored, uint32_t storedSize,
                                            uint32_t originalSize, bool compressed,
                                            uint64_t fileSize) {
  uint32_t length = storedSize;
  if (compressed) {
    if (!IsPlausibleExpansion(storedSize, originalSize) ||
        originalSize > kSalvageListExpansion * fileSize)
      return;
    length = originalSize;
  }
  SalvageBlock text(static_cast<unsigned char*>(VrkAlloc(uint64_t{length} + 1)));
  if (!text) return;
  std::memset(text.get(), 0, uint64_t{length} + 1);
  if (compressed)
    compressor->Decompress(stored, storedSize, originalSize, text.get());
  else
    std::memcpy(text.get(), stored, length);
  NameFromLines(reinterpret_cast<char*>(text.get()), length);
}
