// An input that carries several files, so that one input can leave a side
// file out or bring an extra one: a count byte, then for each file a kind
// byte and a little-endian 32-bit length, then the files' bytes in order.
// Lengths past the end of the input are cut short; trailing bytes are ignored.
#ifndef ORVEL_FUZZ_FUZZ_FILES_H
#define ORVEL_FUZZ_FUZZ_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace orvel_fuzz {

// Which name a file is written under beside the others (kind byte modulo 4).
enum FileKind : uint8_t {
  kArchiveFile = 0,  // a.vrk
  kTableFile = 1,    // a.bhl
  kListFile = 2,     // a.lst
  kOtherName = 3,    // a.pak: an archive under a name the advanced variant refuses
};
constexpr size_t kKinds = 4;
constexpr size_t kMaxFiles = 6;

struct FuzzFile {
  uint8_t kind;
  std::string bytes;
};
using FuzzFiles = std::vector<FuzzFile>;

std::string JoinFiles(const FuzzFiles& files);
FuzzFiles SplitFiles(const uint8_t* data, size_t size);

// The extension a kind is written with (".vrk", ".bhl", ".lst", ".pak").
const char* KindExtension(uint8_t kind);

// The first file of that kind, or null. Later files of a kind are extras
// that no name is left for.
FuzzFile* FindKind(FuzzFiles& files, uint8_t kind);

// Empties the scratch directory, writes the first file of each kind as
// `base` plus its extension and returns the path to open: that of the first
// archive file (".vrk" or ".pak"), or base + ".vrk" when there is none.
std::string PlaceFiles(FuzzFiles& files, const std::string& base);

}  // namespace orvel_fuzz

#endif
