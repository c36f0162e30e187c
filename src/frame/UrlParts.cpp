#include "frame/UrlParts.h"

#include <cstring>

#include "frame/RemoteFile.h"

namespace orvel {

UrlParts SplitUrl(const char* path) {
  const std::size_t n = path ? std::strlen(path) : 0;
  if (!IsRemotePath(path)) return {n, n};
  const std::size_t pathEnd = std::strcspn(path, "?#");
  if (path[pathEnd] != '?') return {pathEnd, pathEnd};
  return {pathEnd, pathEnd + std::strcspn(path + pathEnd, "#")};
}

}  // namespace orvel
