// Our LZO1X decoder with the bounds checks of the reference safe decoder.
#ifndef ORVEL_CODEC_LZO1X_DECODE_H
#define ORVEL_CODEC_LZO1X_DECODE_H

#include <cstddef>

namespace orvel {

// Outcomes, numbered as the reference library numbers them so that results
// compare directly.
enum Lzo1xStatus : int {
  kLzoOk = 0,
  kLzoInputOverrun = -4,
  kLzoOutputOverrun = -5,
  kLzoLookbehindOverrun = -6,
  kLzoInputNotConsumed = -8,
};

// Decodes the LZO1X stream in[0, inSize) into out, which has room for
// *outSize bytes; sets *outSize to the bytes produced (also when the stream
// is refused, up to the point of refusal) and returns the status. Never reads
// outside the input nor writes outside [out, out + room). The status, the
// count and out[0, count) are those of the reference safe decoder for every
// input; the bytes after the count are unspecified (wide copies may write
// ahead inside the room). The input and the output must not overlap: the
// write-ahead would overwrite input not yet read, so in-place decoding is
// not supported.
int Lzo1xDecodeSafe(const unsigned char* in, size_t inSize, unsigned char* out,
                    size_t* outSize);

}  // namespace orvel

#endif
