// Shared body of the archive fuzzers: opens whatever files the input makes
// and reads everything the archive claims to hold. Any crash, sanitizer
// report or hang is a bug; error results are the expected outcome.
#ifndef ORVEL_FUZZ_FUZZ_ARCHIVE_H
#define ORVEL_FUZZ_FUZZ_ARCHIVE_H

#include <OrvelPacket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace orvel_fuzz {

// A directory of the process's own under TMPDIR (scripts/fuzz points it at
// a memory file system when there is one, where the library's syncs cost
// nothing).
inline std::string ScratchBase() {
  static std::string base = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvel-fuzz-XXXXXX";
    if (!mkdtemp(&dir[0])) std::abort();  // PlaceFiles empties this directory
    return dir + "/a";
  }();
  return base;
}

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  WriteBytes(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Writes an advanced archive's three files from one input: two little-endian
// 16-bit lengths, then the archive file, the table side file and, with what
// is left, the list side file. Returns the archive's path ("" when the input
// is too short to hold the lengths).
inline std::string PlaceAdvancedFiles(const uint8_t* data, size_t size) {
  if (size < 4) return std::string();
  size_t n1 = data[0] | (data[1] << 8);
  size_t n2 = data[2] | (data[3] << 8);
  data += 4;
  size -= 4;
  if (n1 > size) n1 = size;
  if (n2 > size - n1) n2 = size - n1;
  const std::string base = ScratchBase();
  WriteBytes(base + ".vrk", data, n1);
  WriteBytes(base + ".bhl", data + n1, n2);
  WriteBytes(base + ".lst", data + n1 + n2, size - n1 - n2);
  return base + ".vrk";
}

// The whole content of a file ("" when it cannot be read).
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads every entry by index and by name, then a few changes inside a
// bracket, so that writers see the hostile tables too.
inline void Exercise(IOrvelPacket* a) {
  unsigned count = a->GetFileCount();
  if (count > 4096) count = 4096;
  std::vector<char> buffer(1 << 16);
  char name[256];
  for (unsigned i = 0; i < count; ++i) {
    unsigned size = 0;
    if (void* p = a->ReadFileAlloc(nullptr, &size, i)) a->FreeBuffer(p);
    a->ReadFileTo(nullptr, buffer.data(), static_cast<int>(buffer.size()), i);
    a->GetOriginalSize(nullptr, i);
    a->GetStoredSize(nullptr, i);
    if (a->GetFileName(i, name, sizeof name) == 0) {
      if (void* p = a->ReadFileAlloc(name, &size, 0xFFFFFFFFu)) a->FreeBuffer(p);
      a->ReadFileRaw(name, buffer.data(), static_cast<unsigned>(buffer.size()));
      a->GetFileFlags(name);
    }
  }
  a->BeginUpdate();
  a->AddFileFromMemory("fuzz/new.txt", 1, "hello hello hello", 17, 0, 0);
  a->DeleteFile("fuzz/new.txt");
  a->EndUpdate();
  a->CompactPacket();
}

}  // namespace orvel_fuzz

#endif
