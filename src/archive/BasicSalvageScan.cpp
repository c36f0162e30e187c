#include "archive/BasicSalvageScan.h"

#include <algorithm>
#include <cstring>

#include "archive/BasicFormat.h"
#include "codec/CompressBuffer.h"
#include "codec/LzoStreamLength.h"

namespace orvel {
namespace {

// Passes over the searched bytes that failed attempts may take together
// (plain random bytes take about ten); beyond them the search gives up, which
// only hostile or odd data makes it do.
constexpr uint64_t kScanPasses = 64;
constexpr uint64_t kScanSlack = 1u << 20;

}  // namespace

// The list's first line, its own name, holds no repeat, so the stream's
// first literal run carries it as it is.
bool StartsAsNameList(const unsigned char* stream, size_t size) {
  static const char kHead[] = "(listfile)\n";
  constexpr size_t kHeadSize = sizeof kHead - 1;
  if (size == 0) return false;
  size_t at = 1;
  size_t run = 0;
  if (stream[0] > 17) {
    run = stream[0] - 17u;
  } else if (stream[0] > 0 && stream[0] < 16) {
    run = stream[0] + 3u;
  } else if (stream[0] == 0) {
    while (at < size && stream[at] == 0) ++at;
    run = 18;  // at least, whatever the extension says
    ++at;
  }
  return run >= kHeadSize && at + kHeadSize <= size &&
         std::memcmp(stream + at, kHead, kHeadSize) == 0;
}

namespace {

// How far before a stream's start a walk from plain bytes may begin and
// still fall into step with it: a first literal run holds at most 238 bytes,
// and a few instructions read from plain bytes follow it.
constexpr uint64_t kResyncWindow = 1024;

// One searched gap: [begin, end) of `area`, which starts at file offset
// `base`, with the budget of attempts shared by all gaps.
class GapSearch {
 public:
  GapSearch(const unsigned char* area, uint64_t base, uint64_t end, uint64_t budget,
            uint64_t* work)
      : area_(area), base_(base), end_(end), budget_(budget), work_(work) {}

  // A stream at `at` that decodes to more than it takes. A file is stored
  // compressed when that makes it smaller (vrk stores the others as they
  // are), and only then can a stream be told from plain bytes, which hold
  // short streams that decode to less by chance.
  bool StreamAt(uint64_t at, LzoStreamLength* stream) const {
    const size_t available = static_cast<size_t>(end_ - at);
    const uint64_t most = std::min<uint64_t>(uint64_t{available} * 256 + 4096, 0xFFFFFFFFu);
    const unsigned char* start = area_ + (at - base_);
    ++*work_;  // the quick look
    return CouldStartLzoStream(start, available) &&
           MeasureLzoStream(start, available, most, true, stream, work_) &&
           stream->decoded > stream->consumed;
  }

  // The first position from `at` on that the quick look does not refuse.
  uint64_t SkipRefused(uint64_t at) const {
    const unsigned char* p = area_ + (at - base_);
    const unsigned char* stop = area_ + (end_ - base_);
    while (p < stop && !CouldStartLzoStream(p, static_cast<size_t>(stop - p))) ++p;
    return base_ + static_cast<uint64_t>(p - area_);
  }

  // A walk begun in plain bytes may run on into the stream after them and
  // end where it ends, the plain bytes decoded as its first ones. Those
  // bytes could as well be the file's own, so the start is a guess: the
  // latest start that ends there. That is the stream's own start unless a
  // byte inside its first literal run also reads as a run that reaches its
  // first match, which leaves out the run's first bytes (a few files in a
  // hundred); earlier starts take in bytes of the file before far more often.
  uint64_t LatestStart(uint64_t at, LzoStreamLength* stream) const {
    const uint64_t stop = at + stream->consumed;
    const uint64_t last = std::min(at + kResyncWindow, stop);
    for (uint64_t q = at + 1; q < last; ++q) {
      LzoStreamLength later;
      if (StreamAt(q, &later) && q + later.consumed == stop) {
        at = q;
        *stream = later;
      }
    }
    return at;
  }

  bool Run(uint64_t begin, CVrkSalvage::State* s, uint32_t* found) {
    // Right after a stream (or an entry that survived), the next file
    // starts; further on in plain bytes it may start anywhere.
    bool anchored = true;
    uint64_t at = begin;
    while (at < end_ && *work_ < budget_) {
      const uint64_t skipped = SkipRefused(at);
      if (skipped > at) {
        *work_ += skipped - at;
        at = skipped;
        anchored = false;
        continue;
      }
      LzoStreamLength stream;
      if (!StreamAt(at, &stream)) {
        ++at;
        anchored = false;
        continue;
      }
      const unsigned origin =
          anchored ? VRK_SALVAGE_FROM_STREAM : VRK_SALVAGE_FROM_STREAM_GUESSED;
      if (!anchored) at = LatestStart(at, &stream);
      anchored = true;
      if (StartsAsNameList(area_ + (at - base_), stream.consumed)) {
        at += stream.consumed;
        continue;
      }
      if (!s->Reserve(1)) return false;
      s->entries[s->count++] = VrkSalvageEntry{{0, 0, 0},
                                               basic::kFileCompressed,
                                               static_cast<unsigned>(at),
                                               static_cast<unsigned>(stream.consumed),
                                               static_cast<unsigned>(stream.decoded),
                                               0, 0, 0, 0, origin, nullptr};
      ++*found;
      at += stream.consumed;
    }
    return true;
  }

 private:
  const unsigned char* area_;
  uint64_t base_;
  uint64_t end_;
  uint64_t budget_;
  uint64_t* work_;
};

}  // namespace

bool ScanDataArea(const SalvageInput& archive, uint64_t end, std::vector<ByteRange>* covered,
                  CVrkSalvage::State* s, uint32_t* found) {
  *found = 0;
  const uint64_t base = basic::kDataStart;
  end = std::min(end, archive.size);
  if (end <= base) return true;
  SalvageBlock area(static_cast<unsigned char*>(VrkAlloc(end - base)));
  if (!area) return false;
  if (!archive.Read(area.get(), end - base, base)) return true;
  std::sort(covered->begin(), covered->end(),
            [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
  const uint64_t budget = kScanPasses * (end - base) + kScanSlack;
  uint64_t work = 0;
  uint64_t at = base;
  for (const ByteRange& r : *covered) {
    if (r.begin > at &&
        !GapSearch(area.get(), base, std::min(r.begin, end), budget, &work).Run(at, s, found))
      return false;
    at = std::max(at, r.end);
  }
  return GapSearch(area.get(), base, end, budget, &work).Run(at, s, found);
}

}  // namespace orvel
