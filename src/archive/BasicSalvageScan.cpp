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

// Searches [begin, end) of `area` (which starts at file offset `base`).
bool ScanGap(const unsigned char* area, uint64_t base, uint64_t begin, uint64_t end,
             uint64_t budget, uint64_t* work, CVrkSalvage::State* s, uint32_t* found) {
  uint64_t at = begin;
  while (at < end && *work < budget) {
    const size_t available = static_cast<size_t>(end - at);
    const uint64_t most =
        std::min<uint64_t>(uint64_t{available} * 256 + 4096, 0xFFFFFFFFu);
    const unsigned char* start = area + (at - base);
    LzoStreamLength stream;
    // A file is stored compressed when that makes it smaller (vrk stores
    // the others as they are), and only then can a stream be told from
    // plain bytes, which hold short streams that decode to less by chance.
    if (!CouldStartLzoStream(start, available) ||
        !MeasureLzoStream(start, available, most, &stream, work) ||
        stream.decoded <= stream.consumed) {
      ++at;
      continue;
    }
    if (StartsAsNameList(start, stream.consumed)) {
      at += stream.consumed;
      continue;
    }
    if (!s->Reserve(1)) return false;
    s->entries[s->count++] = VrkSalvageEntry{{0, 0, 0},
                                             basic::kFileCompressed,
                                             static_cast<unsigned>(at),
                                             static_cast<unsigned>(stream.consumed),
                                             static_cast<unsigned>(stream.decoded),
                                             0, 0, 0, 0, 0, nullptr};
    ++*found;
    at += stream.consumed;
  }
  return true;
}

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
    if (r.begin > at && !ScanGap(area.get(), base, at, std::min(r.begin, end), budget, &work, s,
                                 found))
      return false;
    at = std::max(at, r.end);
  }
  return ScanGap(area.get(), base, at, end, budget, &work, s, found);
}

}  // namespace orvel
