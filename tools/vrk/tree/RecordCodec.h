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

std::string EncodeTreeRecord(const TreeRecord& record);

// False with the reason in `problem` when `bytes` are not a record this
// version can read (damaged, or written by a later version).
bool DecodeTreeRecord(const unsigned char* bytes, size_t size, TreeRecord* record,
                      std::string* problem);

}  // namespace vrk

#endif
