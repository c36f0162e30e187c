#include "advance/AdvancePaths.h"

#include <cstring>

#include "frame/UrlParts.h"

namespace orvel {

namespace {

constexpr std::size_t kExtensionLength = sizeof kArchiveExtension - 1;

}  // namespace

bool HasArchiveExtension(const char* path) {
  const std::size_t n = SplitUrl(path).pathEnd;
  if (n < kExtensionLength) return false;
  for (std::size_t i = 0; i < kExtensionLength; ++i) {
    unsigned char c = static_cast<unsigned char>(path[n - kExtensionLength + i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    if (c != static_cast<unsigned char>(kArchiveExtension[i])) return false;
  }
  return true;
}

void SideFilePath(const char* path, const char* extension, char* out) {
  const UrlParts parts = SplitUrl(path);
  const std::size_t stem =
      parts.pathEnd >= kExtensionLength ? parts.pathEnd - kExtensionLength : parts.pathEnd;
  const std::size_t query = parts.queryEnd - parts.pathEnd;
  std::memmove(out, path, stem);
  char* at = out + stem;
  std::memcpy(at, extension, kExtensionLength);
  std::memmove(at + kExtensionLength, path + parts.pathEnd, query);
  at[kExtensionLength + query] = '\0';
}

}  // namespace orvel
