// Shared by the patch fuzzer and its seed writer, so that the seeds are
// patches of the very archive the fuzzer applies them to: that archive, the
// block file names and the input layout. An input is a little-endian 16-bit
// word, the patch file, then one block file; the word's low 15 bits give the
// patch file's length, its top bit asks the fuzzer to rewrite the checksums.
#ifndef ORVEL_FUZZ_FUZZ_PATCH_H
#define ORVEL_FUZZ_FUZZ_PATCH_H

#include <OrvelPacket.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace orvel_fuzz {

// The archive patches are applied to: advanced, at base level 0, with one
// compressed and one stored file and tables small enough that applying a
// patch grows them.
inline bool MakeTargetArchive(const std::string& path) {
  IOrvelPacket* a = g_piVrkSystem->NewPacket(path.c_str(), VRK_CREATE_ADVANCED,
                                             VRK_FORMAT_VERSION, 4, 0, 0);
  if (!a) return false;
  static const char text[] = "town town town town town town town town\n";
  unsigned char bytes[300];
  for (unsigned i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(i * 151 + 7);
  a->BeginUpdate();
  bool ok = a->AddFileFromMemory("maps/town.txt", VRK_ADD_COMPRESS, text, sizeof text - 1, 0,
                                 0) == 0 &&
            a->AddFileFromMemory("data/raw.bin", 0, bytes, sizeof bytes, 0, 0) == 0;
  ok = a->EndUpdate() == 0 && ok;
  g_piVrkSystem->FreePacket(a);
  return ok;
}

// The block file of one level of the patch file `stem`.vrx.
inline std::string BlockPath(const std::string& stem, unsigned level) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%08x.pb", level);
  return stem + suffix;
}

struct PatchInput {
  std::string patch, block;
  bool repairCheckSums = false;
};

constexpr size_t kMaxPatchBytes = 0x7FFF;
constexpr unsigned kRepairBit = 0x8000;

inline std::string JoinPatchInput(const PatchInput& in) {
  const size_t n = in.patch.size() < kMaxPatchBytes ? in.patch.size() : kMaxPatchBytes;
  const unsigned word = static_cast<unsigned>(n) | (in.repairCheckSums ? kRepairBit : 0);
  return std::string{static_cast<char>(word & 0xFF), static_cast<char>(word >> 8)} +
         in.patch.substr(0, n) + in.block;
}

inline PatchInput SplitPatchInput(const uint8_t* data, size_t size) {
  if (size < 2) return {};
  const unsigned word = data[0] | (data[1] << 8);
  size_t n = word & kMaxPatchBytes;
  const char* rest = reinterpret_cast<const char*>(data + 2);
  size -= 2;
  if (n > size) n = size;
  return {std::string(rest, n), std::string(rest + n, size - n), (word & kRepairBit) != 0};
}

}  // namespace orvel_fuzz

#endif
