// What the journal knows a file by: its size and a checksum of its bytes.
// Unlike device and inode numbers, a mark survives a copy of the directory
// (cp -a, cp -r, rsync, a backup restored), so recovery recognises the files
// an exchange moved in the copy as it does in the original.
#ifndef ORVEL_FRAME_CONTENT_MARK_H
#define ORVEL_FRAME_CONTENT_MARK_H

#include <cstddef>
#include <cstdint>

namespace orvel {

// A mark sums either the whole file or, for a large one, only its first and
// last kMarkEnds bytes: see MarkPair for why that still tells two files apart.
constexpr uint64_t kMarkEnds = 64 * 1024;
constexpr size_t kMarkBytes = 24;  // a mark as the journal stores it

struct ContentMark {
  bool present = false;  // false: no file at the path
  bool whole = false;    // the sum covers every byte, not the two ends only
  uint64_t size = 0;
  uint64_t sum = 0;
};

// Folds `size` bytes into `h` word by word; the journal's record checksums
// are made with it too.
uint64_t MixWords(uint64_t h, const void* data, size_t size);

// The mark of the file at `path` (absent when there is none). False when
// something that is not a regular file is there or it cannot be read.
bool MarkFile(const char* path, bool whole, ContentMark* mark);
// Marks of the two files an exchange swaps, chosen to tell them apart: the
// size and the two ends, and when those agree the whole contents. Marks
// that still agree belong to files with the same bytes, for which it does
// not matter which is which.
bool MarkPair(const char* in, const char* out, ContentMark* inMark, ContentMark* outMark);
// True when the file at `path` carries `mark` (no file, for an absent mark).
bool HasMark(const char* path, const ContentMark& mark);
bool SameMark(const ContentMark& a, const ContentMark& b);

void PutMark(unsigned char* out, const ContentMark& mark);
ContentMark GetMark(const unsigned char* in);

}  // namespace orvel

#endif
