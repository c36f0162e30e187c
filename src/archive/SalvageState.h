// What salvage of either variant has read of a damaged archive: the archive
// file, the header values it went by and the files whose table entries
// survived (or, in a basic archive whose tables are gone, whose streams were
// found in the data area). The variant readers fill it; CVrkSalvage serves it.
#ifndef ORVEL_ARCHIVE_SALVAGE_STATE_H
#define ORVEL_ARCHIVE_SALVAGE_STATE_H

#include <cstdint>
#include <memory>

#include "codec/CompressBuffer.h"
#include "frame/Allocation.h"
#include "frame/DiskFile.h"
#include "orvel/VrkSalvage.h"

namespace orvel {

using SalvageBlock = std::unique_ptr<unsigned char, VrkFreeDeleter>;

// The list text may take at most this many bytes per byte stored.
constexpr uint64_t kSalvageListExpansion = 256;

// A file opened for reading whose every read is checked against its size.
struct SalvageInput {
  FileHandle handle = kInvalidFile;
  uint64_t size = 0;
  explicit SalvageInput(const char* path);
  ~SalvageInput();
  SalvageInput(const SalvageInput&) = delete;
  SalvageInput& operator=(const SalvageInput&) = delete;
  bool Read(void* out, uint64_t count, uint64_t offset) const;
  // Up to `count` entries of `entrySize` bytes at `offset`, as many as lie
  // wholly in the file; *bytes holds them, *read their number.
  bool ReadEntries(uint64_t offset, uint32_t count, uint32_t entrySize, SalvageBlock* bytes,
                   uint32_t* read) const;
};

}  // namespace orvel

struct __attribute__((visibility("hidden"))) CVrkSalvage::State : orvel::VrkHeapObject {
  orvel::FileHandle archive = orvel::kInvalidFile;
  uint64_t archiveSize = 0;
  bool advanced = false;
  VrkSalvageEntry* entries = nullptr;  // sorted by hash0 once Sort ran
  uint32_t count = 0;
  uint32_t capacity = 0;
  uint32_t lost = 0;
  uint32_t flags = 0;
  uint32_t versionHigh = 0;
  uint32_t versionLow = 0;
  uint32_t baseVersion = 0;
  unsigned int cryptTable[1280] = {};
  orvel::CCompressBuffer* compressor = nullptr;

  State();
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Room for `more` entries beyond count; false when out of memory.
  bool Reserve(uint64_t more);
  void Sort();
  VrkSalvageEntry* Find(const unsigned int hash[3]);
  // Names the entry with the hashes of `name`; an entry that has a name keeps
  // it unless `replace`.
  bool Name(const char* name, bool replace);
  // Names entries after the lines of a list text; the text is changed.
  void NameFromLines(char* text, size_t length);
  // Decodes a stored list text and names entries after its lines. A stream
  // that breaks off still gives the lines before the break.
  void NameFromStoredList(const unsigned char* stored, uint32_t storedSize,
                          uint32_t originalSize, bool compressed, uint64_t fileSize);
};

namespace orvel {

// Fill `state` from the archive at `path`, already known to be of their
// variant; false with the reason in g_nVrkErrCode.
bool SalvageAdvancedArchive(const char* path, CVrkSalvage::State* state);
bool SalvageBasicArchive(SalvageInput* archive, CVrkSalvage::State* state);

}  // namespace orvel

#endif
