#include "frame/ContentMark.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "frame/Allocation.h"
#include "frame/JournalFormat.h"

namespace orvel {
namespace {

constexpr uint32_t kPresent = 1;
constexpr uint32_t kWhole = 2;
constexpr size_t kPiece = 1u << 20;

// Sums [from, to) of `fd` into `h` piece by piece.
bool SumRange(int fd, unsigned char* piece, uint64_t from, uint64_t to, uint64_t* h) {
  while (from < to) {
    const size_t n = static_cast<size_t>(to - from < kPiece ? to - from : kPiece);
    if (!journal::ReadAllAt(fd, piece, n, from)) return false;
    *h = MixWords(*h, piece, n);
    from += n;
  }
  return true;
}

}  // namespace

uint64_t MixWords(uint64_t h, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (; size >= 8; size -= 8, p += 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 29;
  }
  for (; size > 0; --size, ++p) h = (h ^ *p) * 0xC4CEB9FE1A85EC53ull;
  return h;
}

bool MarkFile(const char* path, bool whole, ContentMark* mark) {
  *mark = ContentMark();
  mark->whole = whole;
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno == ENOENT;
  struct stat st;
  std::unique_ptr<unsigned char, VrkFreeDeleter> piece(
      static_cast<unsigned char*>(VrkAlloc(kPiece)));
  bool ok = piece && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    mark->present = true;
    mark->size = static_cast<uint64_t>(st.st_size);
    uint64_t h = 0x9E3779B97F4A7C15ull ^ mark->size;
    if (whole || mark->size <= 2 * kMarkEnds) {
      ok = SumRange(fd, piece.get(), 0, mark->size, &h);
    } else {
      ok = SumRange(fd, piece.get(), 0, kMarkEnds, &h) &&
           SumRange(fd, piece.get(), mark->size - kMarkEnds, mark->size, &h);
    }
    mark->sum = h;
  }
  close(fd);
  return ok;
}

bool MarkPair(const char* in, const char* out, ContentMark* inMark, ContentMark* outMark) {
  if (!MarkFile(in, false, inMark) || !MarkFile(out, false, outMark)) return false;
  // Recovery meets no file but these two (or byte-exact copies of them) at
  // the two paths, so marks that differ decide every case. Ends that agree
  // in files of one size say nothing about their middles: the whole
  // contents decide then.
  if (!SameMark(*inMark, *outMark)) return true;
  return MarkFile(in, true, inMark) && MarkFile(out, true, outMark);
}

bool SameMark(const ContentMark& a, const ContentMark& b) {
  if (!a.present || !b.present) return a.present == b.present;
  return a.whole == b.whole && a.size == b.size && a.sum == b.sum;
}

bool HasMark(const char* path, const ContentMark& mark) {
  struct stat st;
  if (!mark.present) return lstat(path, &st) != 0 && errno == ENOENT;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) != mark.size)
    return false;
  ContentMark now;
  return MarkFile(path, mark.whole, &now) && SameMark(now, mark);
}

void PutMark(unsigned char* out, const ContentMark& mark) {
  const uint32_t flags = (mark.present ? kPresent : 0) | (mark.whole ? kWhole : 0);
  const uint32_t zero = 0;
  std::memcpy(out, &flags, 4);
  std::memcpy(out + 4, &zero, 4);
  std::memcpy(out + 8, &mark.size, 8);
  std::memcpy(out + 16, &mark.sum, 8);
}

ContentMark GetMark(const unsigned char* in) {
  ContentMark mark;
  uint32_t flags;
  std::memcpy(&flags, in, 4);
  mark.present = (flags & kPresent) != 0;
  mark.whole = (flags & kWhole) != 0;
  std::memcpy(&mark.size, in + 8, 8);
  std::memcpy(&mark.sum, in + 16, 8);
  return mark;
}

}  // namespace orvel
