// The stored form of the tree record (TreeRecord.h), version 2:
//
//   "VRKA", version byte 2, owner count (varint), owners, entry count
//   (varint), entries, CRC-32 (4 bytes, little-endian, of everything
//   before it)
//   owner: uid (varint), gid (varint), user name and group name (texts,
//          empty when the system had no name for the number)
//   entry: kind byte ('f' file, 'd' directory, 'l' symbolic link, 'h' hard
//          link, 'p' FIFO, 'c' character device, 'b' block device),
//          bytes shared with the previous entry's name (varint),
//          length of the rest (varint) and the rest of the name,
//          mode bits (varint), modification time in seconds since 1970
//          (zigzag varint) and nanoseconds (varint),
//          owner index (varint: 0 none recorded, k the k-th owner),
//          then by kind: a file its alias number (varint: 0 stored under
//          its own name, N stored under "(alias)/N"); a symbolic link its
//          target (text); a hard link the exact name of the file entry that
//          holds the data (text); a device its device number (varint).
//          Hard links come after the other entries, so that the file a
//          hard link names is always read before it.
//   text: length (varint) and the bytes
//
// Version 1, which vrk wrote before, is read as well: no owners, and its
// entries end after the nanoseconds (a link with its target); only the kinds
// 'f', 'd' and 'l'.
//
// Varints are LEB128: seven bits a byte, low bits first. Names share their
// beginnings with the entry before (a tree's names mostly do), which keeps
// the record small before the archive compresses it.
#ifndef VRK_RECORD_CODEC_H
#define VRK_RECORD_CODEC_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "tree/TreeRecord.h"

namespace vrk {

// The version vrk writes; it reads this one and kFirstRecordVersion.
constexpr unsigned char kRecordVersion = 2;
constexpr unsigned char kFirstRecordVersion = 1;

// A record read from an archive may hold at most this much memory: 64 bytes
// for each byte of the record (as decoded from the archive) plus 64 MiB.
// Names share their beginnings with the name before, so a few stored bytes
// can spell a long name; without a bound a record of a megabyte could ask
// for gigabytes. The count covers the decoded record with its index and one
// copy of its entries, as list and extract hold them: a few hundred bytes an
// entry plus its name four times and its link target twice, and each owner
// with its names twice. Records of
// real trees stay well below it (an entry takes at least six stored bytes,
// usually ten or more).
constexpr size_t kRecordMemoryPerByte = 64;
constexpr size_t kRecordMemoryBase = size_t{64} << 20;

// The most memory a record of `size` bytes may take.
size_t RecordMemoryBound(size_t size);

// Names hold at most 255 bytes between separators and 4096 in all; link
// targets at most 4096 bytes, as the system's paths; user and group names
// at most 255 bytes. Alias numbers stay below 2^32, as the archive's count
// of files does.
constexpr size_t kLongestRecordComponent = 255;
constexpr size_t kLongestRecordText = 4096;
constexpr size_t kLongestOwnerName = 255;
constexpr uint64_t kMostAliases = 0xFFFFFFFFu;

// The record in version 2. Owners no live entry refers to are left out, and
// so are hard links whose file entry is gone (a reader would refuse them).
std::string EncodeTreeRecord(const TreeRecord& record);

enum class RecordDecode {
  kRead,
  kDamaged,  // not a record this version reads (damaged, or of a later version)
  kRefused,  // it would take more memory than RecordMemoryBound allows
};

// Decodes `bytes` into `record`; otherwise says why in `problem`, and
// leaves `record` as it was. Time and memory are linear in `size`. A record
// is damaged unless every name is held once, owner indexes and alias numbers
// are ones the record has (aliases unique and below kMostAliases), and every
// hard link names a file entry of the record.
RecordDecode DecodeTreeRecord(const unsigned char* bytes, size_t size, TreeRecord* record,
                              std::string* problem);

}  // namespace vrk

#endif
