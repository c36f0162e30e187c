// The name list as text, taken out of its compressed form and put back, so
// that mutations work on names (line feeds, case, lengths, bytes) rather than
// on an LZO stream that then no longer decodes. Encoding leaves the
// checksums to the repair.
#ifndef ORVEL_FUZZ_FUZZ_LIST_TEXT_H
#define ORVEL_FUZZ_FUZZ_LIST_TEXT_H

#include <string>

#include "FuzzFiles.h"

namespace orvel_fuzz {

// The advanced list side file's text; false when it does not decode.
bool DecodeListSide(const std::string& lst, std::string* text);
// Rewrites the list side file around `text` (compressed, at offset 40),
// keeping the rest of its record.
void EncodeListSide(std::string& lst, const std::string& text);

// The "(listfile)" of a basic archive in its plain view (block table
// unscrambled). Encoding appends the new stream to the file and points the
// entry at it; false when the entry cannot be found or the result would
// exceed `maxSize`.
bool DecodeBasicList(const std::string& archive, std::string* text);
bool EncodeBasicList(std::string& archive, const std::string& text, size_t maxSize);

}  // namespace orvel_fuzz

#endif
