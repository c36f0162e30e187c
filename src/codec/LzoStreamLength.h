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
// bytes. `*work` grows by the input bytes examined, so a caller trying many
// starting points can bound its total effort.
bool MeasureLzoStream(const unsigned char* in, size_t available, uint64_t maxDecoded,
                      LzoStreamLength* out, uint64_t* work);

}  // namespace orvel

#endif
