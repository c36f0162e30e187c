#include "frame/ShareRegistry.h"

#include <cstdlib>
#include <mutex>

namespace orvel {
namespace {

struct HandleRecord {
  int fd;
  FileIdentity id;
  unsigned access;
  unsigned share;
  bool writeThrough;
};

// A small array scanned linearly: a process holds few library handles (each
// archive at most three). It lives on the process heap rather than behind the
// host allocator because it outlives every archive and must not depend on
// when a host installs or removes its allocator; it is released whenever it
// becomes empty.
std::mutex g_mutex;
HandleRecord* g_records = nullptr;
size_t g_count = 0;
size_t g_capacity = 0;

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode;
}

bool Compatible(const HandleRecord& held, unsigned access, unsigned share) {
  if ((access & kShareRead) && !(held.share & kShareRead)) return false;
  if ((access & kShareWrite) && !(held.share & kShareWrite)) return false;
  if ((held.access & kShareRead) && !(share & kShareRead)) return false;
  if ((held.access & kShareWrite) && !(share & kShareWrite)) return false;
  return true;
}

}  // namespace

bool RegisterHandle(int fd, FileIdentity id, unsigned access, unsigned share,
                    bool writeThrough) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (size_t i = 0; i < g_count; ++i) {
    if (SameFile(g_records[i].id, id) && !Compatible(g_records[i], access, share))
      return false;
  }
  if (g_count == g_capacity) {
    size_t grown = g_capacity ? g_capacity * 2 : 16;
    auto* bigger = static_cast<HandleRecord*>(std::realloc(g_records, grown * sizeof(HandleRecord)));
    if (!bigger) return false;
    g_records = bigger;
    g_capacity = grown;
  }
  g_records[g_count++] = HandleRecord{fd, id, access, share, writeThrough};
  return true;
}

bool UnregisterHandle(int fd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (size_t i = 0; i < g_count; ++i) {
    if (g_records[i].fd != fd) continue;
    g_records[i] = g_records[--g_count];
    if (g_count == 0) {
      std::free(g_records);
      g_records = nullptr;
      g_capacity = 0;
    }
    return true;
  }
  return false;
}

bool IsHeldOpen(FileIdentity id) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (size_t i = 0; i < g_count; ++i)
    if (SameFile(g_records[i].id, id)) return true;
  return false;
}

bool IsWriteThrough(int fd) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (size_t i = 0; i < g_count; ++i)
    if (g_records[i].fd == fd) return g_records[i].writeThrough;
  return false;
}

}  // namespace orvel
