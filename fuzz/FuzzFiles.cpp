#include "FuzzFiles.h"

#include <filesystem>

#include "FuzzArchive.h"

namespace orvel_fuzz {

std::string JoinFiles(const FuzzFiles& files) {
  const size_t count = files.size() < kMaxFiles ? files.size() : kMaxFiles;
  std::string out(1, static_cast<char>(count));
  for (size_t i = 0; i < count; ++i) {
    const uint32_t n = static_cast<uint32_t>(files[i].bytes.size());
    out += static_cast<char>(files[i].kind % kKinds);
    for (int b = 0; b < 4; ++b) out += static_cast<char>((n >> (8 * b)) & 0xFF);
  }
  for (size_t i = 0; i < count; ++i) out += files[i].bytes;
  return out;
}

FuzzFiles SplitFiles(const uint8_t* data, size_t size) {
  FuzzFiles files;
  if (size == 0) return files;
  size_t count = data[0] % (kMaxFiles + 1);
  size_t at = 1;
  std::vector<uint32_t> lengths;
  for (size_t i = 0; i < count && at + 5 <= size; ++i, at += 5) {
    files.push_back({static_cast<uint8_t>(data[at] % kKinds), {}});
    lengths.push_back(static_cast<uint32_t>(data[at + 1] | data[at + 2] << 8 | data[at + 3] << 16 |
                                            uint32_t{data[at + 4]} << 24));
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const size_t n = lengths[i] < size - at ? lengths[i] : size - at;
    files[i].bytes.assign(reinterpret_cast<const char*>(data + at), n);
    at += n;
  }
  return files;
}

const char* KindExtension(uint8_t kind) {
  static const char* const names[kKinds] = {".vrk", ".bhl", ".lst", ".pak"};
  return names[kind % kKinds];
}

FuzzFile* FindKind(FuzzFiles& files, uint8_t kind) {
  for (FuzzFile& f : files)
    if (f.kind == kind) return &f;
  return nullptr;
}

std::string PlaceFiles(FuzzFiles& files, const std::string& base) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(base).parent_path(), ec))
    fs::remove_all(entry.path(), ec);
  for (uint8_t kind = 0; kind < kKinds; ++kind)
    if (const FuzzFile* f = FindKind(files, kind)) WriteBytes(base + KindExtension(kind), f->bytes);
  for (const FuzzFile& f : files)
    if (f.kind == kArchiveFile || f.kind == kOtherName) return base + KindExtension(f.kind);
  return base + KindExtension(kArchiveFile);
}

}  // namespace orvel_fuzz
