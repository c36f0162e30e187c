// The stored form of the tree record (TreeRecord.h), version 1:
//
//   "VRKA", version byte 1, count (varint), count entries, CRC-32 (4 bytes,
//   little-endian, of everything before it)
//   entry: kind byte ('f' file, 'd' directory, 'l' symbolic link),
//          bytes shared with the previous entry's name (varint),
//          length of the rest (varint) and the rest of the name,
//          mode bits (varint), modification time in seconds since 1970
//          (zigzag varint) and nanoseconds (varint),
//          for a link: length of its target (varint) and the target
//
// Varints are LEB128: seven bits a byte, low bits first. Names share their
// beginnings with the entry before (a tree's names mostly do), which keeps
// the record small before the archive compresses it.
#ifndef VRK_RECORD_CODEC_H
#define VRK_RECORD_CODEC_H

#include <cstddef>
#include <string>

#include "tree/TreeRecord.h"

namespace vrk {

constexpr unsigned char kRecordVersion = 1;

// A record read from an archive may hold at most this much memory: 64 bytes
// for each byte of the record (as decoded from the archive) plus 64 MiB.
// Names share their beginnings with the name before, so a few stored bytes
// can spell a long name; without a bound a record of a megabyte could ask
// for gigabytes. The count covers the decoded record with its index and one
// copy of its entries, as list and extract hold them: a few hundred bytes an
// entry plus its name three times and its link target twice. Records of
// real trees stay well below it (an entry takes at least six stored bytes,
// usually ten or more).
constexpr size_t kRecordMemoryPerByte = 64;
constexpr size_t kRecordMemoryBase = size_t{64} << 20;

// The most memory a record of `size` bytes may take.
size_t RecordMemoryBound(size_t size);

// Names hold at most 255 bytes between separators and 4096 in all; link
// targets at most 4096 bytes, as the system's paths.
constexpr size_t kLongestRecordComponent = 255;
constexpr size_t kLongestRecordText = 4096;

std::string EncodeTreeRecord(const TreeRecord& record);

enum class RecordDecode {
  kRead,
  kDamaged,  // not a record this version reads (damaged, or of a later version)
  kRefused,  // it would take more memory than RecordMemoryBound allows
};

// Decodes `bytes` into `record`; otherwise says why in `problem`, and
// leaves `record` as it was. Time and memory are linear in `size`.
RecordDecode DecodeTreeRecord(const unsigned char* bytes, size_t size, TreeRecord* record,
                              std::string* problem);

}  // namespace vrk

#endif
