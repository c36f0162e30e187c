// Finds where an LZO1X stream ends and how much it decodes to, without
// decoding it: salvage uses it to find the files of a basic archive whose
// tables are gone, where nothing else says where one stored file stops and
// the next begins.
#ifndef ORVEL_CODEC_LZO_STREAM_LENGTH_H
#define ORVEL_CODEC_LZO_STREAM_LENGTH_H

#include <cstddef>
#include <cstdint>

namespace orvel {

struct LzoStreamLength {
  size_t consumed = 0;   // bytes of input up to and including the end marker
  uint64_t decoded = 0;  // bytes the stream decodes to
};

// Walks the stream at `in` as the safe decoder would, checking every length
// against the input left and `maxDecoded` and every match distance against
// the output so far. True when it reaches the end marker within `available`
// bytes. `canonical` also refuses what no LZO1X compressor writes (a short
// near match in the longer M3 form), which plain bytes read as a stream
// soon do. `*work` grows by the input bytes examined, so a caller trying
// many starting points can bound its total effort.
bool MeasureLzoStream(const unsigned char* in, size_t available, uint64_t maxDecoded,
                      bool canonical, LzoStreamLength* out, uint64_t* work);

// A quick look at the first two instructions, for a caller trying every
// position of plain bytes: false only where MeasureLzoStream would fail or
// find a stream that decodes to nothing.
// A stream starts with a literal run (nothing lies behind it to match), and
// the match after the run reaches no further back than the run.
// Inlined into the caller's loop: it runs once for every byte of plain data.
[[gnu::always_inline]] inline bool CouldStartLzoStream(const unsigned char* in,
                                                       size_t available) {
  if (available < 4) return false;
  const unsigned first = in[0];
  if (first == 0) return true;  // a run too long to judge here
  if (first == 16 || first == 17) return false;  // a match with nothing before it
  const size_t run = first > 17 ? first - 17u : first + 3u;
  const size_t at = 1 + run;
  if (at + 3 > available) return true;
  const unsigned t = in[at];
  if (first > 17 && run < 4) {
    // Up to 3 literals end like a match's trailing ones: a byte below 16
    // is then a near 2-byte match.
    if (t < 16) return 1u + (t >> 2) + (in[at + 1] << 2) <= run;
  } else if (t < 16) {
    return false;  // a match reaching beyond 2048 bytes
  }
  if (t >= 64) return 1u + ((t >> 2) & 7) + (in[at + 1] << 3) <= run;
  if (t >= 32) {
    if ((t & 31) == 0) return true;  // its length goes on in further bytes
    return 1u + (in[at + 1] >> 2) + (in[at + 2] << 6) <= run;
  }
  if (t >= 16) {
    if ((t & 7) == 0) return true;
    // Only the end marker: every other far match reaches beyond 16 KiB.
    return (t & 8) == 0 && (in[at + 1] >> 2) + (in[at + 2] << 6) == 0;
  }
  return true;
}

}  // namespace orvel

#endif
