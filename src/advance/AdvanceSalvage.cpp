// Salvage of a damaged advanced archive: the side header is taken from the
// table side file when its checksum holds, else from the copy in the archive
// file; the tables are read as far as the table side file goes, deciphered in
// their own 8-byte blocks (so damage stays where it is), and every hash entry
// whose block entry points back at it is one file. Names come from whatever
// lines of the list text still decode and hash to an entry.
#include <algorithm>
#include <cstring>
#include <memory>

#include "advance/AdvanceFormat.h"
#include "advance/AdvancePaths.h"
#include "advance/AdvanceValidate.h"
#include "archive/HashChain.h"
#include "codec/CompressBuffer.h"
#include "codec/IceCipher.h"
#include "codec/NameHash.h"
#include "codec/checksum_crc.h"
#include "frame/Allocation.h"
#include "frame/DiskFile.h"
#include "frame/ErrorCode.h"
#include "orvel/VrkSalvage.h"

namespace orvel {
namespace {

using Block = std::unique_ptr<unsigned char, VrkFreeDeleter>;

// The list text may take at most this many bytes per byte of list side file.
constexpr uint64_t kListExpansion = 256;
// Longest archive path, with its NUL.
constexpr size_t kSalvagePathLength = 260;

struct OpenFile {
  FileHandle handle = kInvalidFile;
  uint64_t size = 0;
  explicit OpenFile(const char* path) {
    handle = OpenDiskFileEx(path, kModeReadShared, kAttrNormal);
    if (handle == kInvalidFile) return;
    const uint32_t s = GetDiskFileSize(handle);
    size = s == kFileFailure ? 0 : s;
  }
  ~OpenFile() {
    if (handle != kInvalidFile) CloseDiskFile(handle);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  bool Read(void* out, uint64_t count, uint64_t offset) const {
    if (offset + count > size) return false;
    return count == 0 || ReadDiskFileAt(handle, out, static_cast<unsigned>(count),
                                        static_cast<unsigned>(offset)) == count;
  }
};

bool CrcMatches(const void* bytes, uint32_t size, const unsigned char* word) {
  uint32_t stored;
  std::memcpy(&stored, word, 4);
  return Crc32(bytes, size) == stored;
}

// Reads up to `count` entries of `entrySize` bytes at `offset`, as many as lie
// wholly in the file (and, enciphered, in whole cipher blocks unless the
// table is complete). Returns the entries read; *table holds them deciphered.
uint32_t ReadTablePart(const OpenFile& side, uint64_t offset, uint32_t count,
                       uint32_t entrySize, bool enciphered, Block* table) {
  if (offset >= side.size || count == 0) return 0;
  const uint64_t whole = uint64_t{count} * entrySize;
  uint64_t bytes = std::min<uint64_t>(whole, side.size - offset);
  table->reset(static_cast<unsigned char*>(VrkAlloc(bytes ? bytes : 1)));
  if (!*table || !side.Read(table->get(), bytes, offset)) return 0;
  if (enciphered) {
    if (bytes < whole) bytes -= bytes % 8;
    DecipherBuffer(table->get(), static_cast<unsigned>(bytes));
  }
  return static_cast<uint32_t>(bytes / entrySize);
}

}  // namespace
}  // namespace orvel

using namespace orvel;

// Kept out of the exported interface.
struct __attribute__((visibility("hidden"))) CVrkSalvage::State : VrkHeapObject {
  FileHandle archive = kInvalidFile;
  uint64_t archiveSize = 0;
  VrkSalvageEntry* entries = nullptr;  // sorted by hash0
  uint32_t count = 0;
  uint32_t lost = 0;
  AdvanceHeader header{};
  unsigned int cryptTable[1280] = {};
  CCompressBuffer* compressor = nullptr;

  ~State() {
    if (archive != kInvalidFile) CloseDiskFile(archive);
    for (uint32_t i = 0; i < count; ++i) HeapStrFree(const_cast<char*>(entries[i].name));
    VrkFree(entries);
    delete compressor;
  }

  VrkSalvageEntry* Find(const unsigned int hash[3]) {
    VrkSalvageEntry* end = entries + count;
    VrkSalvageEntry* it = std::lower_bound(
        entries, end, hash[0],
        [](const VrkSalvageEntry& e, unsigned int h) { return e.hash[0] < h; });
    for (; it != end && it->hash[0] == hash[0]; ++it)
      if (it->hash[1] == hash[1] && it->hash[2] == hash[2]) return it;
    return nullptr;
  }

  bool Name(const char* name, bool replace) {
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

  bool ReadTables(const OpenFile& side, const AdvanceHeader& h);
  void ReadNames(const char* listPath);
};

bool CVrkSalvage::State::ReadTables(const OpenFile& side, const AdvanceHeader& h) {
  const bool enciphered = (h.flags & kAdvFlagCipherMask) != 0;
  Block blockBytes;
  Block hashBytes;
  const uint32_t blocks = ReadTablePart(side, h.blockTableOffset, h.fileCount,
                                        sizeof(AdvanceBlockEntry), enciphered, &blockBytes);
  const uint32_t slots = ReadTablePart(side, h.hashTableOffset, h.tableSize, sizeof(HashEntry),
                                       enciphered, &hashBytes);
  entries = static_cast<VrkSalvageEntry*>(VrkAlloc(sizeof(VrkSalvageEntry) * (uint64_t{blocks} + 1)));
  if (!entries) return false;
  const auto* blockTable = reinterpret_cast<const AdvanceBlockEntry*>(blockBytes.get());
  const auto* hashTable = reinterpret_cast<const HashEntry*>(hashBytes.get());
  unsigned int listHash[3];
  HashNameAll(kListFileName, cryptTable, listHash);
  uint32_t claimed = 0;
  for (uint32_t s = 0; s < slots; ++s) {
    const HashEntry& e = hashTable[s];
    if (IsFreeEntry(e) || e.blockIndex >= blocks) continue;
    const AdvanceBlockEntry& b = blockTable[e.blockIndex];
    if (b.hashIndex != s) continue;
    ++claimed;
    if (HasHashes(e, listHash)) continue;
    VrkSalvageEntry& out = entries[count++];
    out = VrkSalvageEntry{{e.hash0, e.hash1, e.hash2}, b.flags, b.offset, b.storedSize, b.originalSize,
                          b.versionHigh, b.versionLow, b.fileTimeLow, b.fileTimeHigh, nullptr};
  }
  // The list's own entry is not a file to recover, intact or not.
  const uint32_t files = h.fileCount > 0 ? h.fileCount - 1 : 0;
  const uint32_t found = claimed > count ? claimed - 1 : claimed;
  lost = files > found ? files - found : 0;
  std::sort(entries, entries + count, [](const VrkSalvageEntry& a, const VrkSalvageEntry& b) {
    return a.hash[0] < b.hash[0];
  });
  return true;
}

void CVrkSalvage::State::ReadNames(const char* listPath) {
  OpenFile list(listPath);
  if (list.handle == kInvalidFile) return;
  unsigned char record[kListRecordSize];
  if (!list.Read(record, sizeof record, 0)) return;
  AdvanceBlockEntry r;
  std::memcpy(&r, record, sizeof r);
  // A damaged record still often holds the true sizes; the lines are
  // judged by their hashes anyway.
  if (uint64_t{r.offset} + r.storedSize > list.size) return;
  Block stored(static_cast<unsigned char*>(VrkAlloc(uint64_t{r.storedSize} + 1)));
  if (!stored || !list.Read(stored.get(), r.storedSize, r.offset)) return;
  Block text;
  uint32_t length = r.storedSize;
  if (r.flags & kFileCompressed) {
    if (!IsPlausibleExpansion(r.storedSize, r.originalSize) ||
        r.originalSize > kListExpansion * list.size)
      return;
    text.reset(static_cast<unsigned char*>(VrkAlloc(uint64_t{r.originalSize} + 1)));
    if (!text) return;
    // A stream that breaks off still leaves the lines before the break.
    std::memset(text.get(), 0, uint64_t{r.originalSize} + 1);
    compressor->Decompress(stored.get(), r.storedSize, r.originalSize, text.get());
    length = r.originalSize;
  } else {
    text = std::move(stored);
  }
  char* p = reinterpret_cast<char*>(text.get());
  char* end = p + length;
  *end = 0;
  while (p < end) {
    char* lf = static_cast<char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    char* stop = lf ? lf : end;
    *stop = 0;
    if (*p) Name(p, false);
    p = stop + 1;
  }
}

CVrkSalvage::CVrkSalvage() : m_state(nullptr) {}

CVrkSalvage::~CVrkSalvage() { Close(); }

void CVrkSalvage::Close() {
  delete m_state;
  m_state = nullptr;
}

int CVrkSalvage::Open(const char* path) {
  Close();
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  const size_t n = std::strlen(path);
  if (n >= kSalvagePathLength) return SetError(VRKERR_OPEN_FILE), 0;
  if (!HasArchiveExtension(path)) return SetError(VRKERR_BAD_EXTENSION), 0;
  char sidePath[kSalvagePathLength];
  char listPath[kSalvagePathLength];
  std::memcpy(sidePath, path, n - 4);
  std::memcpy(sidePath + n - 4, kTableFileExtension, 5);
  std::memcpy(listPath, path, n - 4);
  std::memcpy(listPath + n - 4, kListFileExtension, 5);

  std::unique_ptr<State> state(new State());
  if (!state) return SetError(VRKERR_NO_MEMORY), 0;
  state->compressor = new CCompressBuffer();
  if (!state->compressor) return SetError(VRKERR_NO_MEMORY), 0;
  InitCryptTable(state->cryptTable);
  KeyArchiveCipher();

  OpenFile side(sidePath);
  {
    OpenFile archive(path);
    if (archive.handle == kInvalidFile || side.handle == kInvalidFile)
      return SetError(VRKERR_OPEN_FILE), 0;
    unsigned char head[kDataStart];
    // The header of the table side file when its checksum holds, else the
    // copy in the archive file, else whichever still looks like a header.
    AdvanceHeader sideHeader{};
    AdvanceHeader copy{};
    unsigned char sideBytes[sizeof(AdvanceHeader) + kChecksumSize];
    const bool haveSide = side.Read(sideBytes, sizeof sideBytes, 0);
    std::memcpy(&sideHeader, sideBytes, sizeof sideHeader);
    const bool haveCopy = archive.Read(head, sizeof head, 0) &&
                          std::memcmp(head, kMagic, 4) == 0;
    std::memcpy(&copy, head + kHeaderCopyOffset, sizeof copy);
    const AdvanceHeader* h = nullptr;
    if (haveSide && CrcMatches(sideBytes, sizeof sideHeader, sideBytes + sizeof sideHeader) &&
        IsValidAdvanceHeader(sideHeader))
      h = &sideHeader;
    else if (haveCopy && IsValidAdvanceHeader(copy))
      h = &copy;
    else if (haveSide && IsValidAdvanceHeader(sideHeader))
      h = &sideHeader;
    if (!h) return SetError(VRKERR_BAD_SIGNATURE), 0;
    state->header = *h;
    if (!state->ReadTables(side, *h)) return SetError(VRKERR_NO_MEMORY), 0;
    state->archive = archive.handle;
    state->archiveSize = archive.size;
    archive.handle = kInvalidFile;  // kept by the state
  }
  state->ReadNames(listPath);
  m_state = state.release();
  return SetError(VRKERR_OK), 1;
}

unsigned int CVrkSalvage::GetEntryCount() const { return m_state ? m_state->count : 0; }

unsigned int CVrkSalvage::GetLostEntryCount() const { return m_state ? m_state->lost : 0; }

unsigned int CVrkSalvage::GetPacketFlags() const { return m_state ? m_state->header.flags : 0; }

void CVrkSalvage::GetPacketVersion(unsigned int* versionHigh, unsigned int* versionLow,
                                   unsigned int* baseVersion) const {
  const AdvanceHeader h = m_state ? m_state->header : AdvanceHeader{};
  if (versionHigh) *versionHigh = h.versionHigh;
  if (versionLow) *versionLow = h.versionLow;
  if (baseVersion) *baseVersion = h.baseVersion;
}

int CVrkSalvage::GetEntry(unsigned int index, VrkSalvageEntry* out) const {
  if (!m_state || !out || index >= m_state->count) return 0;
  *out = m_state->entries[index];
  return 1;
}

int CVrkSalvage::NameEntry(const char* name) {
  return m_state && name && m_state->Name(name, true) ? 1 : 0;
}

int CVrkSalvage::ReadEntry(unsigned int index, int decoded, void** data) {
  if (!m_state || !data || index >= m_state->count) return VRK_SALVAGE_OUTSIDE;
  *data = nullptr;
  const VrkSalvageEntry& e = m_state->entries[index];
  if (uint64_t{e.offset} + e.storedSize + kChecksumSize > m_state->archiveSize)
    return VRK_SALVAGE_OUTSIDE;
  Block stored(static_cast<unsigned char*>(VrkAlloc(uint64_t{e.storedSize} + kChecksumSize)));
  if (!stored) return VRK_SALVAGE_NO_MEMORY;
  const uint32_t count = e.storedSize + kChecksumSize;
  if (ReadDiskFileAt(m_state->archive, stored.get(), count, e.offset) != count)
    return VRK_SALVAGE_OUTSIDE;
  if (!CrcMatches(stored.get(), e.storedSize, stored.get() + e.storedSize))
    return VRK_SALVAGE_CHECKSUM;
  if (!(e.flags & kFileCompressed)) {
    if (e.storedSize != e.originalSize) return VRK_SALVAGE_UNDECODABLE;
    *data = stored.release();
    return VRK_SALVAGE_OK;
  }
  if (!IsPlausibleExpansion(e.storedSize, e.originalSize)) return VRK_SALVAGE_UNDECODABLE;
  Block out(static_cast<unsigned char*>(VrkAlloc(uint64_t{e.originalSize} + 1)));
  if (!out) return VRK_SALVAGE_NO_MEMORY;
  if (!m_state->compressor->Decompress(stored.get(), e.storedSize, e.originalSize, out.get()))
    return VRK_SALVAGE_UNDECODABLE;
  *data = decoded ? out.release() : stored.release();
  return VRK_SALVAGE_OK;
}

void CVrkSalvage::FreeBuffer(void* data) { VrkFree(data); }
