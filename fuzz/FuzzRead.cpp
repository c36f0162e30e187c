#include "FuzzRead.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvel_fuzz {

namespace {

constexpr unsigned kMaxListed = 4096;      // names enumerated
constexpr unsigned kMaxRead = 48;          // files read by name and by index
constexpr unsigned kMaxExtracted = 8;      // files written to disk
constexpr unsigned kMaxBuffer = 1u << 20;  // exact buffers, raw reads
// Original sizes, as the tables claim them, read per input. The first file
// is read whatever it claims, so that the library's own bounds are tried.
constexpr uint64_t kReadBudget = uint64_t{128} << 20;

struct Budget {
  uint64_t left = kReadBudget;
  bool Take(uint64_t bytes) {
    const bool first = left == kReadBudget;
    if (bytes > left && !first) return false;
    left = bytes > left ? 0 : left - bytes;
    return true;
  }
};

void Queries(IOrvelPacket* a, const char* name) {
  unsigned high = 0, low = 0, h0 = 0, h1 = 0, h2 = 0;
  a->GetFileBlockIndex(name);
  a->GetFileVersion(name, &high, &low);
  a->GetFileStoredSize(name);
  a->GetFileOriginalSize(name);
  a->GetFileFlags(name);
  a->IsFileCompressed(name);
  a->GetFileHash(name, &h0, &h1, &h2);
}

// One file by name (index VRK_BY_NAME) or by index (name null).
void ReadOne(IOrvelPacket* a, const char* name, unsigned index, Budget& budget,
             const std::string& scratchFile, bool extract) {
  const unsigned original = a->GetOriginalSize(name, index);
  const unsigned stored = a->GetStoredSize(name, index);
  char small[1];
  a->ReadFileTo(name, small, 0, index);
  a->ReadFileTo(name, small, 1, index);
  if (!budget.Take(original)) return;
  unsigned size = 0;
  if (void* p = a->ReadFileAlloc(name, &size, index)) a->FreeBuffer(p);
  if (original <= kMaxBuffer) {
    std::vector<char> exact(original + 1);
    a->ReadFileTo(name, exact.data(), static_cast<int>(original), index);
    if (original) a->ReadFileTo(name, exact.data(), static_cast<int>(original - 1), index);
  }
  if (name) {
    std::vector<char> raw(std::min(stored, kMaxBuffer) + 1);
    a->ReadFileRaw(name, raw.data(), static_cast<unsigned>(raw.size()));
  }
  if (extract) {
    a->ExtractFile(name, scratchFile.c_str(), index);
    unlink(scratchFile.c_str());
  }
}

}  // namespace

void ReadEverything(IOrvelPacket* a, const std::string& scratchFile) {
  unsigned high = 0, low = 0, base = 0;
  a->GetPacketFlags();
  a->GetPacketVersion(&high, &low, &base);
  a->GetPacketPath();

  const unsigned count = a->GetFileCount();
  std::vector<std::string> names;
  char name[256];
  for (unsigned i = 0; i < std::min(count, kMaxListed); ++i)
    if (a->GetFileName(i, name, sizeof name) == 0 && names.size() < kMaxRead)
      names.emplace_back(name);
  // Buffers too small for the first name: none, only the NUL, all but the NUL.
  if (a->GetFileName(0, name, sizeof name) == 0) {
    const int length = static_cast<int>(std::strlen(name));
    a->GetFileName(0, name, 0);
    a->GetFileName(0, name, 1);
    a->GetFileName(0, name, length);
  }
  a->GetFileName(count, name, sizeof name);

  Budget budget;
  for (unsigned i = 0; i < std::min(count, kMaxRead); ++i)
    ReadOne(a, nullptr, i, budget, scratchFile, i < kMaxExtracted / 2);
  unsigned size = 0;
  if (void* p = a->ReadFileAlloc(nullptr, &size, count)) a->FreeBuffer(p);  // past the end
  for (size_t i = 0; i < names.size(); ++i) {
    Queries(a, names[i].c_str());
    ReadOne(a, names[i].c_str(), VRK_BY_NAME, budget, scratchFile, i < kMaxExtracted);
  }
  // Without verification the stored bytes are decoded as they are.
  a->SetVerifyCheckSum(false);
  for (size_t i = 0; i < names.size() && i < 4; ++i)
    ReadOne(a, names[i].c_str(), VRK_BY_NAME, budget, scratchFile, false);
  a->SetVerifyCheckSum(true);
  Queries(a, "no/such/file");
}

void ChangeAndCompact(IOrvelPacket* a) {
  char first[256] = "", last[256] = "";
  const unsigned count = a->GetFileCount();
  if (count > 1) {
    a->GetFileName(1, first, sizeof first);
    a->GetFileName(std::min(count, kMaxListed) - 1, last, sizeof last);
  }
  static const char text[] = "fuzz fuzz fuzz fuzz fuzz fuzz\n";
  a->BeginUpdate();
  a->AddFileFromMemory("fuzz/new.txt", VRK_ADD_COMPRESS, text, sizeof text - 1, 0, 0);
  if (*first)  // replaces a file whose entry the input made
    a->AddFileFromMemory(first, VRK_ADD_REPLACE, text, sizeof text - 1, 0, 1);
  if (*last) a->DeleteFile(last);
  a->EndUpdate();
  a->CompactPacket();
}

void UseArchive(const std::string& path) {
  const std::string scratchFile = path + ".out";
  IOrvelPacket* a = g_piVrkSystem->LoadPacket(path.c_str());
  if (!a) return;
  ReadEverything(a, scratchFile);
  ChangeAndCompact(a);
  g_piVrkSystem->FreePacket(a);
  if (IOrvelPacket* again = g_piVrkSystem->LoadPacket(path.c_str())) {
    ReadEverything(again, scratchFile);
    g_piVrkSystem->FreePacket(again);
  }
}

}  // namespace orvel_fuzz
