#include "patch/PatchPath.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "frame/UrlParts.h"

namespace orvel {

namespace {

bool CopyPart(const char* from, size_t length, char* to) {
  if (length > kMaxPathPart) return false;
  std::memcpy(to, from, length);
  to[length] = '\0';
  return true;
}

}  // namespace

bool SplitPatchPath(const char* path, PatchPath* out) {
  if (!path || !out) return false;
  // A URL's query (an access token) goes with the names made from it; its
  // fragment does not.
  const UrlParts url = SplitUrl(path);
  const char* end = path + url.pathEnd;
  const char* file = path;
  for (const char* p = path; p < end; ++p)
    if (*p == '/' || *p == '\\') file = p + 1;
  const char* dot = nullptr;
  for (const char* p = file; p < end; ++p)
    if (*p == '.') dot = p;
  if (!dot) dot = end;
  return CopyPart(path, static_cast<size_t>(file - path), out->dir) &&
         CopyPart(file, static_cast<size_t>(dot - file), out->name) &&
         CopyPart(dot, static_cast<size_t>(end - dot), out->ext) &&
         CopyPart(end, url.queryEnd - url.pathEnd, out->query);
}

bool JoinPatchPath(const PatchPath& parts, const char* suffix, const char* ext, char* out) {
  const size_t dir = std::strlen(parts.dir);
  const size_t name = std::strlen(parts.name) + std::strlen(suffix);
  const size_t extension = std::strlen(ext);
  const size_t query = std::strlen(parts.query);
  if (name > kMaxPathPart || extension > kMaxPathPart) return false;
  if (dir + name + extension + query > kMaxJoinedPath) return false;
  char* at = out;
  for (const char* part : {static_cast<const char*>(parts.dir),
                           static_cast<const char*>(parts.name), suffix, ext,
                           static_cast<const char*>(parts.query)}) {
    const size_t n = std::strlen(part);
    std::memcpy(at, part, n);
    at += n;
  }
  *at = '\0';
  return true;
}

bool BlockFilePath(const PatchPath& base, unsigned int level, char* out) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%08x", level);
  return JoinPatchPath(base, suffix, ".pb", out);
}

bool BlockFilePattern(const PatchPath& base, char* out) {
  return JoinPatchPath(base, "_????????", ".pb", out);
}

bool FitsPathLimits(const char* path) {
  if (!path) return true;
  PatchPath parts;
  return std::strlen(path) <= kMaxJoinedPath && SplitPatchPath(path, &parts);
}

}  // namespace orvel
