#include "tree/ExtractTarget.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "console/ErrorReport.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

// Large files are written in pieces, with a look for stop signals between.
constexpr size_t kWritePiece = 8u << 20;

// A temporary name in a directory, removed unless it was renamed into place.
class TemporaryName {
 public:
  explicit TemporaryName(int dir)
      : dir_(dir), name_(".vrk-" + std::to_string(getpid()) + "-" + std::to_string(next_++) + ".part") {}
  ~TemporaryName() {
    if (!placed_) unlinkat(dir_, name_.c_str(), 0);
  }
  TemporaryName(const TemporaryName&) = delete;
  TemporaryName& operator=(const TemporaryName&) = delete;

  const char* c_str() const { return name_.c_str(); }
  void PlaceAs(const std::string& leaf, const std::string& what) {
    if (renameat(dir_, name_.c_str(), dir_, leaf.c_str()) != 0)
      throw ToolError(SystemProblem(what, errno));
    placed_ = true;
  }

 private:
  static unsigned long next_;
  int dir_;
  std::string name_;
  bool placed_ = false;
};

unsigned long TemporaryName::next_ = 0;

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

// Access time now, modification time as recorded.
void RecordedTimes(const TreeEntry& e, struct timespec times[2]) {
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = static_cast<time_t>(e.seconds);
  times[1].tv_nsec = static_cast<long>(e.nanoseconds);
}

void WriteAll(int fd, const unsigned char* data, size_t size, const std::string& what) {
  while (size > 0) {
    size_t piece = size < kWritePiece ? size : kWritePiece;
    ssize_t w = write(fd, data, piece);
    if (w < 0 && errno == EINTR) continue;
    if (w < 0) throw ToolError(SystemProblem(what, errno));
    data += w;
    size -= static_cast<size_t>(w);
    StopIfRequested();
  }
}

std::string UnsafePath(const std::string& dir, const std::string& name) {
  std::string path = name;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.empty()) throw ToolError("(empty name): the name names no file");
  return path[0] == '/' ? path : dir + "/" + path;
}

}  // namespace

ExtractTarget::ExtractTarget(const std::string& dir, bool unsafePaths)
    : dir_(dir.empty() ? "." : dir), dirFd_(-1), unsafePaths_(unsafePaths) {
  umask_ = umask(0);
  umask(umask_);
  dirFd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0 && errno == ENOENT) {
    MakeDirectories(dir_);
    dirFd_ = open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (dirFd_ < 0) throw ToolError(SystemProblem(dir_, errno));
}

ExtractTarget::~ExtractTarget() {
  if (dirFd_ >= 0) close(dirFd_);
}

mode_t ExtractTarget::Permitted(uint32_t mode) const {
  if (owners_) return static_cast<mode_t>(mode & 07777);
  return static_cast<mode_t>((mode & 0700) | (mode & 0077 & ~umask_));
}

void ExtractTarget::RestoreOwners(OwnerLookup lookup) { owners_ = std::move(lookup); }

void ExtractTarget::SetOwner(const TreeEntry& e, int fd, int dir, const char* leaf) {
  uid_t uid;
  gid_t gid;
  if (!owners_ || !owners_(e, &uid, &gid)) return;
  const int rc = fd >= 0 ? fchown(fd, uid, gid) : fchownat(dir, leaf, uid, gid, AT_SYMLINK_NOFOLLOW);
  if (rc != 0) throw ToolError(SystemProblem(e.name, errno));
}

void ExtractTarget::CheckReplaceable(const Place& place, const EntryKey& key,
                                     const std::string& name, const char* what) {
  struct stat st;
  if (fstatat(place.dir.get(), place.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (S_ISDIR(st.st_mode))
    throw ToolError(name + ": " + what + " not made: a directory has taken its name");
  if (written_.count(key))
    throw ToolError(name + ": " + what + " not made: a file extracted has taken its name");
}

ExtractTarget::Place ExtractTarget::PlaceOf(const std::string& name) {
  if (unsafePaths_) {
    const std::string path = UnsafePath(dir_, name);
    const size_t slash = path.rfind('/');
    const std::string parent = slash == 0 ? "/" : path.substr(0, slash);
    std::string leaf = path.substr(slash + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") throw ToolError(name + ": the name names no file");
    MakeDirectories(parent);
    int fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw ToolError(SystemProblem(parent, errno));
    return {DirectoryFd(fd, -1), std::move(leaf)};
  }
  std::vector<std::string> components;
  std::string reason;
  if (!SplitSafeName(name, &components, &reason)) throw ToolError(name + ": " + reason);
  std::string leaf = std::move(components.back());
  components.pop_back();
  return {WalkDirectories(dirFd_, components, name, true), std::move(leaf)};
}

DirectoryFd ExtractTarget::OpenDirectory(const std::string& name, bool create) {
  if (unsafePaths_) {
    const std::string path = UnsafePath(dir_, name);
    if (create) MakeDirectories(path);
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw ToolError(SystemProblem(path, errno));
    return DirectoryFd(fd, -1);
  }
  std::vector<std::string> components;
  std::string reason;
  if (!SplitSafeName(name, &components, &reason)) throw ToolError(name + ": " + reason);
  return WalkDirectories(dirFd_, components, name, create);
}

void ExtractTarget::WriteFile(const std::string& name, const unsigned char* data, size_t size,
                              const TreeEntry* attributes) {
  Place place = PlaceOf(name);
  TemporaryName temp(place.dir.get());
  FdCloser file{openat(place.dir.get(), temp.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
  if (file.fd < 0) throw ToolError(SystemProblem(name, errno));
  WriteAll(file.fd, data, size, name);
  if (attributes) SetOwner(*attributes, file.fd, -1, nullptr);
  if (fchmod(file.fd, attributes ? Permitted(attributes->mode) : 0666 & ~umask_) != 0)
    throw ToolError(SystemProblem(name, errno));
  if (attributes) {
    struct timespec times[2];
    RecordedTimes(*attributes, times);
    if (futimens(file.fd, times) != 0) throw ToolError(SystemProblem(name, errno));
  }
  const int fd = file.fd;
  file.fd = -1;
  if (close(fd) != 0) throw ToolError(SystemProblem(name, errno));
  temp.PlaceAs(place.leaf, name);
  written_.insert(KeyOf(place, name));
}

ExtractTarget::EntryKey ExtractTarget::KeyOf(const Place& place, const std::string& name) const {
  struct stat st;
  if (fstat(place.dir.get(), &st) != 0) throw ToolError(SystemProblem(name, errno));
  return {st.st_dev, st.st_ino, place.leaf};
}

void ExtractTarget::MakeLink(const TreeEntry& link) {
  Place place = PlaceOf(link.name);
  const EntryKey key = KeyOf(place, link.name);
  CheckReplaceable(place, key, link.name, "symbolic link");
  TemporaryName temp(place.dir.get());
  if (symlinkat(link.target.c_str(), place.dir.get(), temp.c_str()) != 0)
    throw ToolError(SystemProblem(link.name, errno));
  SetOwner(link, -1, place.dir.get(), temp.c_str());
  struct timespec times[2];
  RecordedTimes(link, times);
  utimensat(place.dir.get(), temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
  temp.PlaceAs(place.leaf, link.name);
  written_.insert(key);
}

void ExtractTarget::MakeHardLink(const TreeEntry& link, const std::string& file) {
  Place from = PlaceOf(file);
  struct stat st;
  if (!written_.count(KeyOf(from, file)) ||
      fstatat(from.dir.get(), from.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISREG(st.st_mode))
    throw ToolError(link.name + ": hard link not made: '" + file + "' is not a file extracted");
  Place place = PlaceOf(link.name);
  const EntryKey key = KeyOf(place, link.name);
  CheckReplaceable(place, key, link.name, "hard link");
  TemporaryName temp(place.dir.get());
  // No AT_SYMLINK_FOLLOW: what is linked is the entry itself, never what a
  // link there would lead to.
  if (linkat(from.dir.get(), from.leaf.c_str(), place.dir.get(), temp.c_str(), 0) != 0)
    throw ToolError(SystemProblem(link.name, errno));
  temp.PlaceAs(place.leaf, link.name);
  written_.insert(key);
}

void ExtractTarget::MakeNode(const TreeEntry& node) {
  Place place = PlaceOf(node.name);
  const EntryKey key = KeyOf(place, node.name);
  const bool fifo = node.kind == EntryKind::kFifo;
  CheckReplaceable(place, key, node.name, fifo ? "FIFO" : "device");
  TemporaryName temp(place.dir.get());
  const int rc =
      fifo ? mkfifoat(place.dir.get(), temp.c_str(), 0600)
           : mknodat(place.dir.get(), temp.c_str(),
                     (node.kind == EntryKind::kCharDevice ? S_IFCHR : S_IFBLK) | 0600,
                     static_cast<dev_t>(node.device));
  if (rc != 0) throw ToolError(SystemProblem(node.name, errno));
  SetOwner(node, -1, place.dir.get(), temp.c_str());
  struct timespec times[2];
  RecordedTimes(node, times);
  // The temporary name was made just now, in a directory held open: it is
  // the node itself.
  if (fchmodat(place.dir.get(), temp.c_str(), Permitted(node.mode), 0) != 0 ||
      utimensat(place.dir.get(), temp.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    throw ToolError(SystemProblem(node.name, errno));
  temp.PlaceAs(place.leaf, node.name);
  written_.insert(key);
}

void ExtractTarget::RemoveLink(const TreeEntry& link) {
  Place place = PlaceOf(link.name);
  struct stat st;
  if (fstatat(place.dir.get(), place.leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    throw ToolError(SystemProblem(link.name, errno));
  if (!S_ISLNK(st.st_mode)) throw ToolError(link.name + ": no longer a symbolic link; left there");
  if (unlinkat(place.dir.get(), place.leaf.c_str(), 0) != 0)
    throw ToolError(SystemProblem(link.name, errno));
}

void ExtractTarget::MakeDirectory(const std::string& name) { OpenDirectory(name, true); }

bool ExtractTarget::Exists(const std::string& name, struct stat* st) {
  Place place = PlaceOf(name);
  return fstatat(place.dir.get(), place.leaf.c_str(), st, AT_SYMLINK_NOFOLLOW) == 0;
}

void ExtractTarget::RestoreDirectory(const TreeEntry& directory) {
  DirectoryFd dir = OpenDirectory(directory.name, false);
  struct timespec times[2];
  RecordedTimes(directory, times);
  SetOwner(directory, dir.get(), -1, nullptr);
  if (fchmod(dir.get(), Permitted(directory.mode)) != 0 || futimens(dir.get(), times) != 0)
    throw ToolError(SystemProblem(directory.name, errno));
}

}  // namespace vrk
