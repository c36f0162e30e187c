// vrk mount: an archive as a read-only directory tree (FUSE 3); vrk umount
// takes it down again. The tree is built from the archive's name list, and
// made again when another process commits to the archive (looked for at
// most once a second); a file's bytes are read whole through the library at
// its first read and kept for the reads that follow, until the next commit.
// An archive at a URL is mounted the same way; it has no file to follow, so
// it is opened again (and the tree made again) at the first lookup after a
// read found it replaced on the server, a read that fails with EIO.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "commands/Commands.h"
#include "console/ErrorReport.h"

#ifdef VRK_WITH_FUSE
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <fuse.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <list>
#include <mutex>
#include <new>
#include <optional>
#include <unordered_map>

#include "archive/ArchiveNaming.h"
#include "tree/ArchiveTree.h"
#include "mount/MountTree.h"
#include "archive/PacketHandle.h"
#include "archive/PacketRead.h"
#include "archive/RemoteArchive.h"
#endif

extern char** environ;

namespace vrk {
namespace {

struct MountOptions {
  std::string archive;
  std::string dir;
  bool foreground = false;
  bool safeLinks = false;  // hide links leading outside the mount point
  std::vector<std::string> fuseOptions;
};

#ifdef VRK_WITH_FUSE

// What the attributes of the mounted tree come from: the tree record's
// entries by their names as spelled (separators as '/'), and the archive
// file's time for what the record does not know. Owners are shown as
// extract restores them: the recorded ones when root mounts, else the
// mounting user's.
struct AttributeSource {
  struct timespec archiveTime;
  std::unordered_map<std::string, TreeEntry> entries;
  TreeRecord owners;  // the record, for its owners
  bool showOwners = false;
};

// A name as the tree shows it: split as MountTree splits names, joined
// with '/'.
std::string PathKey(const std::string& name) {
  std::string key;
  for (const std::string& part : SplitPath(name, NameSeparators(name))) {
    if (part.empty() || part == ".") continue;
    key += (key.empty() ? "" : "/") + part;
  }
  return key;
}

// The mode, time and owner shown for the node at `path`: those the tree
// record keeps, without the write bits (the mount is read-only); else files
// 0444, directories 0555, and the archive's time.
MountAttributes AttributesOf(const AttributeSource& source, const std::string& path,
                             bool directory) {
  MountAttributes a;
  auto found = source.entries.find(path);
  const bool kept = found != source.entries.end() && found->second.IsDirectory() == directory;
  if (kept) {
    a.mode = found->second.mode & 07555;
    a.mtime.tv_sec = static_cast<time_t>(found->second.seconds);
    a.mtime.tv_nsec = static_cast<long>(found->second.nanoseconds);
    const Owner* owner = source.owners.OwnerOf(found->second);
    if (source.showOwners && owner) {
      a.owned = true;
      a.uid = owner->uid;
      a.gid = owner->gid;
    }
  } else {
    a.mode = directory ? 0555 : 0444;
    a.mtime = source.archiveTime;
  }
  return a;
}

// A file's bytes, decoded once for all its reads.
struct FileData {
  std::unique_ptr<unsigned char[]> bytes;
  size_t size = 0;
};

MountTree BuildTree(const Packet& packet, AttributeSource& source, bool safeLinks);

// What tells a commit of another process: the archive file's identity,
// size and modification time.
bool SameStamp(const struct stat& a, const struct stat& b) {
  return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The time shown for what an archive at a URL does not date: when it was
// opened.
struct timespec Now() {
  struct timespec now {};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

class MountedArchive {
 public:
  using TreePtr = std::shared_ptr<const MountTree>;

  MountedArchive(Packet packet, MountTree tree, std::string path, const struct stat& stamp,
                 bool safeLinks)
      : packet_(std::move(packet)),
        tree_(std::make_shared<const MountTree>(std::move(tree))),
        path_(std::move(path)),
        remote_(IsUrl(path_)),
        stamp_(stamp),
        checked_(std::chrono::steady_clock::now()),
        safeLinks_(safeLinks),
        uid_(getuid()),
        gid_(getgid()) {}

  // The tree of the latest commit seen. Each callback works on the one it
  // got, whole, even when a commit makes a new one meanwhile.
  TreePtr Tree() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (remote_) {
      if (stale_ && now - checked_ >= kFollow) Reopen(now);
    } else if (now - checked_ >= kFollow) {
      checked_ = now;
      struct stat st;
      if (stat(path_.c_str(), &st) == 0 && !SameStamp(st, stamp_)) Rebuild(st);
    }
    return tree_;
  }

  void Fill(const MountTree& tree, uint32_t index, struct stat* st) const {
    const MountTree::Node& node = tree.At(index);
    const uint32_t inode = tree.InodeOf(index);
    std::memset(st, 0, sizeof *st);
    st->st_ino = inode + 1;
    const mode_t type = node.directory ? S_IFDIR : node.link ? S_IFLNK : node.special ? node.special : S_IFREG;
    st->st_mode = type | node.attributes.mode;
    st->st_nlink = node.directory ? 2 + node.subdirectories : tree.At(inode).names;
    st->st_rdev = node.device;
    st->st_uid = node.attributes.owned ? node.attributes.uid : uid_;
    st->st_gid = node.attributes.owned ? node.attributes.gid : gid_;
    st->st_size = static_cast<off_t>(node.size);
    st->st_blksize = 4096;
    st->st_blocks = static_cast<blkcnt_t>((node.size + 511) / 512);
    st->st_atim = st->st_mtim = st->st_ctim = node.attributes.mtime;
  }

  // The bytes of the file at `index`, or a negative errno (-ESTALE: the
  // archive at the URL was replaced, shown as EIO). The kernel asks
  // for a file in pieces, so decoded files stay in memory, the least
  // recently used leaving first once they pass kCachedBytes together.
  int Data(const TreePtr& tree, uint32_t name, std::shared_ptr<const FileData>* out) {
    const uint32_t index = tree->InodeOf(name);  // names of one file share its data
    std::lock_guard<std::mutex> lock(mutex_);
    const bool current = tree == tree_;  // only the current tree's files are kept
    auto found = current ? cache_.find(index) : cache_.end();
    if (found != cache_.end()) {
      uses_.splice(uses_.begin(), uses_, found->second.use);
      *out = found->second.data;
      return 0;
    }
    const MountTree::Node& node = tree->At(index);
    auto data = std::make_shared<FileData>();
    data->size = node.size;
    if (node.size > INT_MAX) return Problem(node, "too large to be read through the mount"), -EFBIG;
    const char* entry = node.entry.c_str();
    if (!SizesArePlausible(node.size, (*packet_)->GetFileStoredSize(entry),
                           (*packet_)->IsFileCompressed(entry) != 0))
      return Problem(node, "damaged: its stored bytes cannot hold its size"), -EIO;
    if (node.size > 0) {
      data->bytes.reset(new (std::nothrow) unsigned char[node.size]);
      if (!data->bytes) return Problem(node, "out of memory"), -ENOMEM;
      VrkClearThreadErrorCode();
      const int got = (*packet_)->ReadFileTo(node.entry.c_str(), data->bytes.get(),
                                             static_cast<int>(node.size), VRK_BY_NAME);
      if (remote_ && current && VrkThreadErrorCode() != VRKERR_OK &&
          VrkLastSystemError() == ESTALE) {
        // Replaced on the server: this read fails, the next lookup opens
        // the new archive.
        stale_ = true;
        checked_ = std::chrono::steady_clock::time_point();
        return Problem(node, "the archive was replaced on the server; opening it again"), -ESTALE;
      }
      if (got >= 0 && VrkThreadErrorCode() == VRKERR_OK && static_cast<uint64_t>(got) != node.size) {
        // A commit changed the file since the tree was made: never show a
        // mix of the two; the next callback makes the tree again.
        checked_ = std::chrono::steady_clock::time_point();
        return -EIO;
      }
      if (got < 0 || static_cast<uint64_t>(got) != node.size)
        return Problem(node, DescribeError(VrkThreadErrorCode())), -EIO;
    }
    if (!current) return *out = std::move(data), 0;
    while (!uses_.empty() && cachedBytes_ + node.size > kCachedBytes) {
      auto oldest = cache_.find(uses_.back());
      cachedBytes_ -= oldest->second.data->size;
      cache_.erase(oldest);
      uses_.pop_back();
    }
    uses_.push_front(index);
    cache_[index] = Cached{data, uses_.begin()};
    cachedBytes_ += node.size;
    *out = std::move(data);
    return 0;
  }

 private:
  static constexpr size_t kCachedBytes = 64u << 20;
  static constexpr std::chrono::seconds kFollow{1};

  // With the mutex held: the tree of the commit `st` describes. A commit
  // while it is made (the stamp moved) makes it again, a few times at most.
  void Rebuild(struct stat st) {
    for (int attempt = 0; attempt < 3; ++attempt) {
      AttributeSource source{st.st_mtim, {}, {}, geteuid() == 0};
      MountTree fresh = BuildTree(*packet_, source, safeLinks_);
      struct stat after;
      if (stat(path_.c_str(), &after) != 0) return;
      if (SameStamp(after, st) || attempt == 2) {
        tree_ = std::make_shared<const MountTree>(std::move(fresh));
        stamp_ = after;
        ClearCache();
        return;
      }
      st = after;
    }
  }

  // With the mutex held: the archive at the URL opened again and its tree
  // made again. While that fails (the server cannot be reached), the old
  // tree stays, and the next lookup a second later tries again.
  void Reopen(std::chrono::steady_clock::time_point now) {
    checked_ = now;
    try {
      Packet fresh = Packet::Open(path_);
      AttributeSource source{Now(), {}, {}, geteuid() == 0};
      MountTree tree = BuildTree(fresh, source, safeLinks_);
      packet_.reset();
      packet_.emplace(std::move(fresh));
      tree_ = std::make_shared<const MountTree>(std::move(tree));
      stale_ = false;
      ClearCache();
    } catch (const ToolError& e) {
      PrintProblem(e.what());
    }
  }

  void ClearCache() {
    cache_.clear();
    uses_.clear();
    cachedBytes_ = 0;
  }

  struct Cached {
    std::shared_ptr<const FileData> data;
    std::list<uint32_t>::iterator use;
  };

  // Reaches the terminal of a mount in the foreground; a daemon has none.
  void Problem(const MountTree::Node& node, const std::string& what) const {
    PrintProblem(packet_->About(node.entry) + ": " + what);
  }

  std::optional<Packet> packet_;  // replaced when a URL's archive is opened again
  TreePtr tree_;
  const std::string path_;
  const bool remote_;
  bool stale_ = false;  // a read found the archive at the URL replaced
  struct stat stamp_;
  std::chrono::steady_clock::time_point checked_;
  const bool safeLinks_;
  uid_t uid_;
  gid_t gid_;
  std::mutex mutex_;
  std::list<uint32_t> uses_;  // most recently used first
  std::unordered_map<uint32_t, Cached> cache_;
  size_t cachedBytes_ = 0;
};

MountedArchive& Mounted() {
  return *static_cast<MountedArchive*>(fuse_get_context()->private_data);
}

// No exception may leave a callback into libfuse.
template <class F>
int Guarded(F f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return -ENOMEM;
  } catch (...) {
    return -EIO;
  }
}

void* OnInit(struct fuse_conn_info*, struct fuse_config* cfg) {
  cfg->use_ino = 1;
  // The archive is followed: the kernel keeps no names, sizes or pages of
  // its own, so that the size it was told when a file was opened is that
  // of the version the open holds (see OnOpen).
  cfg->kernel_cache = 0;
  cfg->entry_timeout = cfg->attr_timeout = 0;
  cfg->negative_timeout = 1;
  return &Mounted();
}

int OnGetattr(const char* path, struct stat* st, struct fuse_file_info*) {
  return Guarded([&] {
    MountedArchive& m = Mounted();
    const auto tree = m.Tree();
    const uint32_t index = tree->Find(path);
    if (index == MountTree::kNone) return -ENOENT;
    m.Fill(*tree, index, st);
    return 0;
  });
}

int OnReaddir(const char* path, void* buf, fuse_fill_dir_t filler, off_t, struct fuse_file_info*,
              enum fuse_readdir_flags) {
  return Guarded([&] {
    MountedArchive& m = Mounted();
    const auto tree = m.Tree();
    const uint32_t index = tree->Find(path);
    if (index == MountTree::kNone) return -ENOENT;
    const MountTree::Node& dir = tree->At(index);
    if (!dir.directory) return -ENOTDIR;
    struct stat st;
    m.Fill(*tree, index, &st);
    filler(buf, ".", &st, 0, FUSE_FILL_DIR_PLUS);
    m.Fill(*tree, dir.parent, &st);
    filler(buf, "..", &st, 0, FUSE_FILL_DIR_PLUS);
    for (const auto& [name, child] : dir.children) {
      m.Fill(*tree, child, &st);
      if (filler(buf, name.c_str(), &st, 0, FUSE_FILL_DIR_PLUS)) break;
    }
    return 0;
  });
}

int OnReadlink(const char* path, char* buf, size_t size) {
  return Guarded([&] {
    const auto tree = Mounted().Tree();
    const uint32_t index = tree->Find(path);
    if (index == MountTree::kNone) return -ENOENT;
    const MountTree::Node& node = tree->At(index);
    if (!node.link) return -EINVAL;
    if (size == 0) return -EINVAL;
    // The kernel's buffer takes the target cut short and ended by a zero.
    const size_t n = std::min(node.target.size(), size - 1);
    std::memcpy(buf, node.target.data(), n);
    buf[n] = 0;
    return 0;
  });
}

// An open holds the version of the file it found, whole, for all its reads:
// a commit meanwhile changes what later opens see, never what this one
// reads.
int OnOpen(const char* path, struct fuse_file_info* fi) {
  return Guarded([&] {
    MountedArchive& m = Mounted();
    const auto tree = m.Tree();
    const uint32_t index = tree->Find(path);
    if (index == MountTree::kNone) return -ENOENT;
    // The mount is read-only, so the kernel refuses these before asking.
    if ((fi->flags & O_ACCMODE) != O_RDONLY || (fi->flags & O_TRUNC)) return -EROFS;
    if (tree->At(index).directory) return -EISDIR;
    // A file that cannot be read opens all the same; its reads fail. One
    // found replaced on the server holds no data: its reads fail too, rather
    // than give the new version's bytes under the size this open was shown.
    auto held = std::make_unique<std::shared_ptr<const FileData>>();
    const int rc = m.Data(tree, index, held.get());
    if (rc == 0 || rc == -ESTALE) fi->fh = reinterpret_cast<uint64_t>(held.release());
    return 0;
  });
}

int OnRelease(const char*, struct fuse_file_info* fi) {
  delete reinterpret_cast<std::shared_ptr<const FileData>*>(fi->fh);
  fi->fh = 0;
  return 0;
}

int OnRead(const char* path, char* buf, size_t size, off_t offset, struct fuse_file_info* fi) {
  return Guarded([&] {
    std::shared_ptr<const FileData> data;
    if (fi && fi->fh) {
      data = *reinterpret_cast<std::shared_ptr<const FileData>*>(fi->fh);
      if (!data) return -EIO;
    } else {
      MountedArchive& m = Mounted();
      const auto tree = m.Tree();
      const uint32_t index = tree->Find(path);
      if (index == MountTree::kNone) return -ENOENT;
      if (tree->At(index).directory) return -EISDIR;
      if (tree->At(index).special) return -EINVAL;
      const int rc = m.Data(tree, index, &data);
      if (rc != 0) return rc == -ESTALE ? -EIO : rc;
    }
    if (offset < 0 || static_cast<uint64_t>(offset) >= data->size) return 0;
    const size_t n = std::min(size, data->size - static_cast<size_t>(offset));
    std::memcpy(buf, data->bytes.get() + offset, n);
    return static_cast<int>(n);
  });
}

int OnStatfs(const char*, struct statvfs* st) {
  const auto held = Mounted().Tree();
  const MountTree& tree = *held;
  uint64_t bytes = 0;
  for (size_t i = 0; i < tree.Size(); ++i)
    if (tree.InodeOf(static_cast<uint32_t>(i)) == i) bytes += tree.At(static_cast<uint32_t>(i)).size;
  std::memset(st, 0, sizeof *st);
  st->f_bsize = st->f_frsize = 4096;
  st->f_blocks = (bytes + 4095) / 4096;
  st->f_files = tree.Size();
  st->f_namemax = 255;
  return 0;
}

// The tree the archive was packed from, as the tree record keeps it (names
// as spelled, links, empty directories), else the files of the name list;
// entries it cannot show are reported and left out. Links come last, as
// extract makes them, so a name both a link and a directory claim shows the
// directory. With `safeLinks`, links leading outside the tree are left out.
MountTree BuildTree(const Packet& packet, AttributeSource& source, bool safeLinks) {
  MountTree tree;
  const ArchiveTree archive = ReadArchiveTree(packet);
  const TreeRecord& record = archive.record.record;
  source.owners = record;
  const auto notShown = [&packet](const std::string& name, const std::string& why) {
    PrintProblem("warning: " + packet.About(name) + ": not shown: " + why);
  };
  std::unordered_map<std::string, uint32_t> files;  // node of each file shown, by exact name
  // Files first, then the names hard links give them, then symbolic links.
  enum Pass { kFiles, kHardLinks, kLinks };
  for (const Pass pass : {kFiles, kHardLinks, kLinks}) {
    for (const TreeItem& item : archive.items) {
      const TreeEntry& e = item.entry;
      const Pass of = e.kind == EntryKind::kLink ? kLinks : e.kind == EntryKind::kHardLink ? kHardLinks : kFiles;
      if (IsOwnEntry(e.name) || of != pass) continue;
      const std::string placed = PlacedName(e);
      if (item.attributes) source.entries.emplace(PathKey(placed), e);
      std::string why;
      bool shown = true;
      const std::string stored = item.attributes ? StoredName(e) : e.name;
      switch (e.kind) {
        case EntryKind::kLink:
          shown = tree.AddLink(e.name, e.target, &why);
          break;
        case EntryKind::kDirectory:
          shown = !item.emptyDirectory || tree.AddDirectory(e.name, &why);
          break;
        case EntryKind::kHardLink: {
          auto file = files.find(e.target);
          shown = file != files.end() && tree.AddHardLink(e.name, file->second, &why);
          if (file == files.end()) why = "the file it is another name of is not shown";
          break;
        }
        case EntryKind::kFifo:
          shown = tree.AddSpecial(e.name, S_IFIFO, 0, &why);
          break;
        case EntryKind::kCharDevice:
        case EntryKind::kBlockDevice:
          shown = tree.AddSpecial(e.name, e.kind == EntryKind::kCharDevice ? S_IFCHR : S_IFBLK,
                                  static_cast<dev_t>(e.device), &why);
          break;
        case EntryKind::kFile:
          if (!packet.Contains(stored)) {
            shown = false, why = "named in the list but not in the tables";
          } else if ((shown = tree.AddFile(stored, packet->GetFileOriginalSize(stored.c_str()), &why,
                                           placed))) {
            files.emplace(e.name, tree.Find(PathKey(placed)));
          }
          break;
      }
      if (!shown) notShown(e.name, why);
    }
  }
  if (safeLinks)
    for (const auto& [name, why] : tree.HideLinksLeadingOutside())
      notShown(name, "it " + why + " (--safe-links)");
  for (size_t i = 0; i < tree.Size(); ++i) {
    MountTree::Node& node = tree.At(static_cast<uint32_t>(i));
    node.attributes = AttributesOf(source, tree.PathOf(static_cast<uint32_t>(i)), node.directory);
  }
  return tree;
}

// libfuse splits options at commas and takes '\' as an escape.
std::string EscapeOption(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == ',' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// The absolute path of `path`, or ToolError naming it as given.
std::string AbsolutePath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) throw ToolError(SystemProblem(path, errno));
  const std::string absolute = real;
  free(real);
  return absolute;
}

// True when `dir` holds anything but "." and "..".
bool HasEntries(const std::string& dir) {
  std::unique_ptr<DIR, int (*)(DIR*)> d(opendir(dir.c_str()), closedir);
  if (!d) throw ToolError(SystemProblem(dir, errno));
  while (const dirent* e = readdir(d.get()))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) return true;
  return false;
}

// The FUSE options as given, without `nonempty`, which is vrk's own (FUSE 3
// no longer takes it); true in `nonempty` when it was there.
std::vector<std::string> WithoutNonempty(const std::vector<std::string>& given, bool* nonempty) {
  std::vector<std::string> kept;
  *nonempty = false;
  for (const std::string& option : given) {
    std::string rest;
    size_t at = 0;
    while (at <= option.size()) {
      size_t end = std::min(option.find(',', at), option.size());
      const std::string one = option.substr(at, end - at);
      if (one == "nonempty") {
        *nonempty = true;
      } else if (!one.empty()) {
        rest += (rest.empty() ? "" : ",") + one;
      }
      at = end + 1;
    }
    if (!rest.empty()) kept.push_back(rest);
  }
  return kept;
}

int RunMount(const MountOptions& o) {
  struct stat dirStat, archiveStat;
  if (stat(o.dir.c_str(), &dirStat) != 0) throw ToolError(SystemProblem(o.dir, errno));
  if (!S_ISDIR(dirStat.st_mode)) throw ToolError(o.dir + ": not a directory");
  bool nonempty = false;
  const std::vector<std::string> fuseOptions = WithoutNonempty(o.fuseOptions, &nonempty);
  // What is in DIR would be hidden while the archive is mounted on it.
  if (!nonempty && HasEntries(o.dir))
    throw ToolError(o.dir + ": not empty; mount on an empty directory, or give -o nonempty");
  // The daemon works from '/': absolute paths keep naming the archive, and
  // the mount point when a signal ends the mount and FUSE unmounts it. A
  // URL is no file: nothing on this system to follow.
  const bool remote = IsUrl(o.archive);
  const std::string archivePath = remote ? o.archive : AbsolutePath(o.archive);
  const std::string dirPath = AbsolutePath(o.dir);
  if (remote) {
    archiveStat = {};
    archiveStat.st_mtim = Now();
  } else if (stat(archivePath.c_str(), &archiveStat) != 0) {
    throw ToolError(SystemProblem(o.archive, errno));
  }

  Packet packet = [&] {
    try {
      return Packet::Open(archivePath);
    } catch (const ToolError& e) {
      // Named as it was given.
      std::string message = e.what();
      if (message.compare(0, archivePath.size(), archivePath) == 0)
        message = o.archive + message.substr(archivePath.size());
      throw ToolError(message);
    }
  }();
  AttributeSource source{archiveStat.st_mtim, {}, {}, geteuid() == 0};
  MountTree tree = BuildTree(packet, source, o.safeLinks);
  MountedArchive mounted(std::move(packet), std::move(tree), archivePath, archiveStat,
                         o.safeLinks);

  std::vector<std::string> args{"vrk"};
  for (const std::string& option : fuseOptions) args.insert(args.end(), {"-o", option});
  // Last, so that no option given can make the mount writable.
  // The mount table shows a URL without its credentials.
  args.insert(args.end(), {"-o", "ro,default_permissions,subtype=vrk,fsname=" +
                                     EscapeOption(remote ? ShownUrl(archivePath) : archivePath)});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  struct fuse_args fargs = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());

  struct fuse_operations ops = {};
  ops.init = OnInit;
  ops.getattr = OnGetattr;
  ops.readlink = OnReadlink;
  ops.readdir = OnReaddir;
  ops.open = OnOpen;
  ops.read = OnRead;
  ops.release = OnRelease;
  ops.statfs = OnStatfs;

  struct fuse* fuse = fuse_new(&fargs, &ops, sizeof ops, &mounted);
  fuse_opt_free_args(&fargs);
  if (!fuse) throw ToolError(o.archive + ": FUSE refused the mount options");
  if (fuse_mount(fuse, dirPath.c_str()) != 0) {
    fuse_destroy(fuse);
    throw ToolError(o.dir + ": cannot mount there (FUSE 3 needs /dev/fuse and fusermount3)");
  }
  int rc = fuse_daemonize(o.foreground ? 1 : 0);
  struct fuse_session* session = fuse_get_session(fuse);
  if (rc == 0) rc = fuse_set_signal_handlers(session);
  if (rc == 0) {
    rc = fuse_loop_mt(fuse, 0);
    fuse_remove_signal_handlers(session);
  }
  fuse_unmount(fuse);
  fuse_destroy(fuse);
  // The loop gives the number of the signal that ended it: 128 + N, as for
  // every command a signal stops, once the mount is taken down.
  if (rc > 0) return 128 + rc;
  return rc == 0 ? 0 : kExitFatal;
}

#else

int RunMount(const MountOptions&) {
  throw ToolError("this vrk was built without FUSE 3 (Debian: libfuse3-dev); it cannot mount");
}

#endif

int RunUmount(const std::string& dir) {
  char program[] = "fusermount3";
  char flag[] = "-u";
  std::string target = dir;
  char* argv[] = {program, flag, target.data(), nullptr};
  pid_t pid;
  const int spawned = posix_spawnp(&pid, program, nullptr, nullptr, argv, environ);
  if (spawned == 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    // fusermount3 has said what went wrong.
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : kExitFatal;
  }
  // Without fusermount3, only the superuser can unmount.
  if (umount2(dir.c_str(), 0) != 0) throw ToolError(SystemProblem(dir, errno));
  return 0;
}

}  // namespace

void AddMountCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<MountOptions>();
  CLI::App* cmd = app.add_subcommand(
      "mount", "Show an archive as a read-only directory tree (FUSE 3) until 'vrk umount DIR'");
  cmd->add_option("archive", o->archive, "Archive to show (a path, or an http:// or https:// URL)")
      ->required();
  AddHeaderOption(cmd);
  cmd->add_option("dir", o->dir, "Directory to mount it on (empty, unless -o nonempty)")->required();
  cmd->add_flag("-f,--foreground", o->foreground,
                "Stay in the foreground until unmounted or interrupted");
  cmd->add_flag("--safe-links", o->safeLinks,
                "Hide symbolic links whose target leads outside the mount point (for archives "
                "from untrusted sources)");
  cmd->add_option("-o", o->fuseOptions,
                  "FUSE mount option (repeatable), e.g. -o allow_other; -o nonempty mounts on a "
                  "directory that is not empty")
      ->expected(1)
      ->take_all();
  cmd->callback([o, &action] { action = [o] { return RunMount(*o); }; });

  auto dir = std::make_shared<std::string>();
  CLI::App* umount = app.add_subcommand("umount", "Unmount what 'vrk mount' mounted on DIR");
  umount->add_option("dir", *dir, "Directory an archive is mounted on")->required();
  umount->callback([dir, &action] { action = [dir] { return RunUmount(*dir); }; });
}

}  // namespace vrk
