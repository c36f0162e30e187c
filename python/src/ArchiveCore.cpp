#include "archive/RemoteArchive.h"
#include "ArchiveCore.h"

#include <OrvelPacket.h>
#include <lzo/lzoconf.h>

#include <climits>
#include <unordered_set>

#include "archive/ArchiveNaming.h"
#include "Compressor.h"

namespace orvelpy {
namespace {

using Lock = std::lock_guard<std::mutex>;

// The library's last code in this thread after a failed call (threads with
// an archive each run at once; the process-wide code may be another's). A
// failure that set no code is reported as `fallback`.
int LastCode(int fallback = VRKERR_DATA_IO) {
  const int code = VrkThreadErrorCode();
  return code != VRKERR_OK ? code : fallback;
}

// The archive's own entries (the name list, vrk's tree record) and the
// aliases the record stores files under are not files of their own.
bool IsReserved(const std::string& name) {
  uint64_t alias = 0;
  return vrk::IsReservedName(name) || vrk::ParseAliasName(name, &alias);
}

// Names the archive can hold; the library would take a NUL as the end, and
// line breaks would split the name list.
void CheckName(const std::string& name, bool forChange) {
  if (name.empty()) throw UsageFailure("an empty name");
  if (name.find('\0') != std::string::npos) throw UsageFailure("a name cannot contain NUL");
  if (!forChange) return;
  if (name.size() > vrk::kMaxNameLength)
    throw UsageFailure("names are at most " + std::to_string(vrk::kMaxNameLength) + " bytes");
  if (name.find_first_of("\n\r") != std::string::npos)
    throw UsageFailure("a name cannot contain a line break");
  if (IsReserved(name)) throw UsageFailure("'" + name + "' is a reserved name");
}

}  // namespace

bool InitCompression() { return lzo_init() == LZO_E_OK; }

std::unique_ptr<Archive> Archive::Open(const std::string& path, bool writable) {
  VrkClearThreadErrorCode();
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  // LoadPacket leaves the code untouched when the header names another
  // format version.
  if (!p) throw LibraryFailure(LastCode(VRKERR_BAD_SIGNATURE), vrk::ShownUrl(path));
  return std::unique_ptr<Archive>(new Archive(p, path, writable));
}

std::unique_ptr<Archive> Archive::Create(const std::string& path, bool advanced,
                                         unsigned tableSize, Stamp stamp, bool protect) {
  const unsigned flags = (advanced ? VRK_CREATE_ADVANCED : 0u) | (protect ? 2u : 0u);
  VrkClearThreadErrorCode();
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), static_cast<int>(flags),
                                             VRK_FORMAT_VERSION, tableSize, stamp.high, stamp.low);
  if (!p) throw LibraryFailure(LastCode(VRKERR_CREATE_FILE), path);
  return std::unique_ptr<Archive>(new Archive(p, path, true));
}

Archive::~Archive() {
  try {
    Close();
  } catch (...) {
    // A destructor reports nothing; Close from Python reports the failure.
  }
}

bool Archive::Closed() {
  Lock lock(mutex_);
  return packet_ == nullptr;
}

void Archive::Close() {
  Lock lock(mutex_);
  if (!packet_) return;
  int rc = VRKERR_OK;
  if (depth_ > 0) {
    depth_ = 0;
    rc = packet_->EndUpdate();
  }
  g_piVrkSystem->FreePacket(packet_);
  packet_ = nullptr;
  if (rc != VRKERR_OK) throw Failed("", rc);
}

IOrvelPacket* Archive::Packet() {
  if (!packet_) throw UsageFailure("the archive is closed");
  return packet_;
}

void Archive::RequireWritable() {
  Packet();
  if (!writable_) throw LibraryFailure(VRKERR_READ_ONLY, vrk::ShownUrl(path_));
}

LibraryFailure Archive::Failed(const std::string& name) const { return Failed(name, LastCode()); }

LibraryFailure Archive::Failed(const std::string& name, int code) const {
  // A URL is named without its credentials.
  const std::string shown = vrk::ShownUrl(path_);
  return LibraryFailure(code, name.empty() ? shown : shown + ": " + name);
}

uint64_t Archive::BeginBlock() {
  Lock lock(mutex_);
  IOrvelPacket* p = Packet();
  if (writable_ && depth_++ == 0) p->BeginUpdate();
  return epoch_;
}

void Archive::EndBlock(uint64_t token, bool commit) {
  Lock lock(mutex_);
  if (!packet_ || !writable_ || token != epoch_ || depth_ == 0) return;
  if (!commit) return RollbackLocked();
  if (--depth_ == 0) CommitLocked();
}

void Archive::CommitLocked() {
  const int rc = packet_->EndUpdate();
  if (rc == VRKERR_OK) return;
  // Back to the last commit, so that the object holds what the disk does.
  RollbackLocked();
  throw Failed("", rc);
}

void Archive::RollbackLocked() {
  // Freeing the object inside its bracket rolls the changes back on disk.
  g_piVrkSystem->FreePacket(packet_);
  depth_ = 0;
  ++epoch_;
  tree_.reset();
  packet_ = g_piVrkSystem->LoadPacket(path_.c_str());
}

template <class Fn>
void Archive::Change(Fn&& change) {
  RequireWritable();
  tree_.reset();  // names and record are read again after any change
  if (depth_ > 0) return change();
  packet_->BeginUpdate();
  try {
    change();
  } catch (...) {
    RollbackLocked();
    throw;
  }
  CommitLocked();
}

const TreeNames& Archive::Tree() {
  IOrvelPacket* p = Packet();
  const RecordSignature now = TreeNames::SignatureOf(p);
  if (tree_ && now == treeSignature_) return *tree_;
  std::vector<std::string> listed;
  std::unordered_set<std::string> seen;
  char buffer[1024];
  // Index 0 is the name list itself; the list ends where GetFileName fails.
  for (unsigned i = 1; i < (1u << 28); ++i) {
    const int rc = p->GetFileName(i, buffer, sizeof buffer);
    // A damaged name list fails as the open did when the list was read there.
    if (vrk::IsUnreadableNameList(rc)) throw LibraryFailure(rc, path_);
    if (rc != 0) break;
    std::string name(buffer);
    if (name.empty() || IsReserved(name)) continue;
    if (seen.insert(vrk::LowerAscii(name)).second) listed.push_back(std::move(name));
  }
  tree_ = TreeNames::Read(p, std::move(listed));
  treeSignature_ = now;
  return *tree_;
}

std::optional<uint64_t> Archive::StoredSize(const std::string& stored) {
  const int index = packet_->GetFileBlockIndex(stored.c_str());
  if (index < 0) return std::nullopt;
  return packet_->GetOriginalSize(stored.c_str(), static_cast<unsigned>(index));
}

std::vector<std::pair<std::string, std::string>> Archive::FilesLocked() {
  const TreeNames& tree = Tree();
  std::vector<std::pair<std::string, std::string>> files;
  // Names stay in the list after their file is gone until the next commit
  // rewrites it; only files that are there count.
  for (std::string& name : tree.Names()) {
    std::string stored = tree.Stored(name);
    if (packet_->GetFileBlockIndex(stored.c_str()) >= 0) files.emplace_back(std::move(name), std::move(stored));
  }
  return files;
}

std::vector<std::string> Archive::Names() {
  Lock lock(mutex_);
  std::vector<std::string> names;
  for (auto& file : FilesLocked()) names.push_back(std::move(file.first));
  return names;
}

bool Archive::Contains(const std::string& name) {
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  Lock lock(mutex_);
  Packet();
  return packet_->GetFileBlockIndex(Stored(name).c_str()) >= 0;
}

std::vector<EntryFacts> Archive::Entries() {
  Lock lock(mutex_);
  return Tree().Entries([this](const std::string& stored) { return StoredSize(stored); });
}

std::optional<EntryFacts> Archive::Entry(const std::string& name) {
  CheckName(name, false);
  Lock lock(mutex_);
  return Tree().Entry(name, [this](const std::string& stored) { return StoredSize(stored); });
}

uint32_t Archive::SizeOf(const std::string& name) {
  CheckName(name, false);
  Lock lock(mutex_);
  IOrvelPacket* p = Packet();
  const std::string stored = Stored(name);
  const int index = p->GetFileBlockIndex(stored.c_str());
  if (index < 0) throw Failed(name, VRKERR_NOT_FOUND);
  return p->GetOriginalSize(stored.c_str(), static_cast<unsigned>(index));
}

std::optional<uint32_t> Archive::ReadInto(const std::string& name, void* buffer, size_t capacity,
                                          uint32_t* needed) {
  CheckName(name, false);
  Lock lock(mutex_);
  IOrvelPacket* p = Packet();
  const std::string stored = Stored(name);
  // Another process may commit between the size query and the read: the
  // read then finds the new version (by name, never by a block number of
  // the old tables), and a size that no longer fits is asked again.
  for (int attempt = 0;; ++attempt) {
    const int index = p->GetFileBlockIndex(stored.c_str());
    if (index < 0) throw Failed(name, VRKERR_NOT_FOUND);
    const uint32_t size = p->GetOriginalSize(stored.c_str(), static_cast<unsigned>(index));
    *needed = size;
    // The library reads only into room for the whole file.
    if (size > capacity) return std::nullopt;
    if (size == 0) return 0u;
    if (size > INT_MAX)
      throw UsageFailure(path_ + ": " + name + ": files of 2 GiB and more cannot be read");
    VrkClearThreadErrorCode();
    const int got = p->ReadFileTo(stored.c_str(), buffer, static_cast<int>(size), VRK_BY_NAME);
    // A version that shrank in between is read whole all the same; one that
    // grew does not fit (0, no error) and is asked for again.
    if (got > 0 && static_cast<uint32_t>(got) == size) return size;
    if (got > 0 && VrkThreadErrorCode() == VRKERR_OK) return static_cast<uint32_t>(got);
    if (got < 0 || VrkThreadErrorCode() != VRKERR_OK || attempt == 3) throw Failed(name);
  }
}

FileFacts Archive::Info(const std::string& name) {
  CheckName(name, false);
  Lock lock(mutex_);
  IOrvelPacket* p = Packet();
  const std::string stored = Stored(name);
  const char* n = stored.c_str();
  if (p->GetFileBlockIndex(n) < 0) throw Failed(name, VRKERR_NOT_FOUND);
  FileFacts f;
  const std::optional<EntryFacts> entry = Tree().Entry(name, [this](const std::string& s) { return StoredSize(s); });
  f.name = entry ? entry->name : name;
  f.size = p->GetFileOriginalSize(n);
  f.storedSize = p->GetFileStoredSize(n);
  f.flags = p->GetFileFlags(n);
  p->GetFileVersion(n, &f.stamp.high, &f.stamp.low);
  f.compressed = p->IsFileCompressed(n) != 0;
  return f;
}

ArchiveFacts Archive::Stat() {
  Lock lock(mutex_);
  IOrvelPacket* p = Packet();
  ArchiveFacts a;
  a.path = path_;
  a.flags = p->GetPacketFlags();
  a.advanced = (a.flags & VRK_CREATE_ADVANCED) != 0;
  p->GetPacketVersion(&a.stamp.high, &a.stamp.low, &a.baseVersion);
  // Without the archive's own entries.
  const unsigned entries = p->GetFileCount();
  a.files = entries > 0 ? entries - 1 : 0;
  if (a.files > 0 && p->GetFileBlockIndex(vrk::kRecordFileName) >= 0) --a.files;
  return a;
}

void Archive::Add(const std::string& given, const void* data, size_t size,
                  const AddOptions& options) {
  CheckName(given, false);
  std::string name;
  {
    // A name the tree record knows goes where its data is: a file the
    // archive holds under an alias is replaced there.
    Lock lock(mutex_);
    Packet();
    name = Stored(given);
  }
  if (name.empty())
    throw UsageFailure("'" + given + "' matches several names that differ only in letter case; "
                       "give it as spelled");
  uint64_t alias = 0;
  if (!vrk::ParseAliasName(name, &alias)) CheckName(name, true);
  // Every offset in an archive is 32 bits wide.
  if (size > 0xFFFFFFFFull - 4096) throw UsageFailure(name + ": files must stay below 4 GiB");
  if (!options.compress) {
    Lock lock(mutex_);
    return AddStored(name, options, data, size, static_cast<uint32_t>(size), false);
  }
  // Compressing takes no lock: threads adding to one archive compress in
  // parallel and take turns only to store.
  thread_local Compressor compressor;
  const bool compressed = compressor.Compress(data, size);
  Lock lock(mutex_);
  if (compressed)
    AddStored(name, options, compressor.Stream(), compressor.StreamSize(),
              static_cast<uint32_t>(size), true);
  else
    AddStored(name, options, data, size, static_cast<uint32_t>(size), false);
}

void Archive::AddStored(const std::string& name, const AddOptions& options, const void* data,
                        size_t storedSize, uint32_t originalSize, bool compressed) {
  RequireWritable();
  IOrvelPacket* p = packet_;
  Stamp stamp = options.stamp.value_or(Stamp{});
  // Without a stamp the file carries the archive's; a replacement given 0:0
  // would otherwise keep 0:0.
  if (!options.stamp) p->GetPacketVersion(&stamp.high, &stamp.low, nullptr);
  if (!options.replace && p->GetFileBlockIndex(name.c_str()) >= 0)
    throw Failed(name, VRKERR_EXISTS);
  static const unsigned char kEmpty = 0;
  const void* bytes = storedSize ? data : &kEmpty;
  const unsigned stored = static_cast<unsigned>(storedSize);
  const unsigned flags = options.replace ? VRK_ADD_REPLACE : 0u;
  Change([&] {
    // The library marks whatever AddCompressedFile stores as compressed.
    const int rc = compressed ? packet_->AddCompressedFile(name.c_str(), flags, bytes, stored,
                                                           originalSize, stamp.high, stamp.low)
                              : packet_->AddFileFromMemory(name.c_str(), flags, bytes, stored,
                                                           stamp.high, stamp.low);
    if (rc != VRKERR_OK) throw Failed(name, rc);
  });
}

void Archive::Delete(const std::string& name) {
  CheckName(name, false);
  Lock lock(mutex_);
  RequireWritable();
  const std::string stored = Stored(name);
  if (packet_->GetFileBlockIndex(stored.c_str()) < 0) throw Failed(name, VRKERR_NOT_FOUND);
  Change([&] {
    const int rc = packet_->DeleteFile(stored.c_str());
    if (rc != VRKERR_OK) throw Failed(name, rc);
  });
}

void Archive::Compact() {
  Lock lock(mutex_);
  RequireWritable();
  // Compaction commits by itself, swapping the archive's files.
  if (depth_ > 0) throw UsageFailure("compact() cannot run inside a change block");
  tree_.reset();
  const int rc = packet_->CompactPacket();
  if (rc != VRKERR_OK) throw Failed("", rc);
}

Stamp Archive::GetStamp() {
  Lock lock(mutex_);
  Stamp s;
  Packet()->GetPacketVersion(&s.high, &s.low, nullptr);
  return s;
}

void Archive::SetStamp(Stamp stamp) {
  Lock lock(mutex_);
  RequireWritable();
  VrkClearThreadErrorCode();
  packet_->SetPacketVersion(stamp.high, stamp.low);
  if (VrkThreadErrorCode() != VRKERR_OK) throw Failed("");
}

std::vector<std::pair<std::string, LibraryFailure>> Archive::Verify() {
  Lock lock(mutex_);
  IOrvelPacket* p = Packet();
  const bool wasOn = p->SetVerifyCheckSum(true);
  std::vector<std::pair<std::string, LibraryFailure>> damaged;
  std::vector<unsigned char> buffer;
  std::unordered_set<std::string> checked;  // hard links share their file's data
  for (const auto& [name, stored] : FilesLocked()) {
    if (!checked.insert(vrk::LowerAscii(stored)).second) continue;
    const uint32_t size = p->GetFileOriginalSize(stored.c_str());
    if (size == 0) continue;
    buffer.resize(size);
    VrkClearThreadErrorCode();
    const int got = p->ReadFileTo(stored.c_str(), buffer.data(), static_cast<int>(size), VRK_BY_NAME);
    if (got < 0 || static_cast<uint32_t>(got) != size) damaged.emplace_back(name, Failed(name));
  }
  p->SetVerifyCheckSum(wasOn);
  return damaged;
}

void Archive::RequirePatchable() {
  // The patcher commits by itself, level by level.
  if (depth_ > 0) throw UsageFailure("patches cannot be made or applied inside a change block");
  if (!(Packet()->GetPacketFlags() & VRK_CREATE_ADVANCED))
    throw LibraryFailure(VRKERR_NO_BUILDER, path_ + " (patches need an advanced archive)");
}

template <class Run>
std::string Archive::RunPatcher(Run&& run) {
  RequirePatchable();
  IOrvelPacket* p = packet_;
  IVrkPatchBuilder* builder = g_piVrkSystem->NewPatchBuilder(p);
  if (!builder) throw Failed("", VRKERR_NO_BUILDER);
  CVrkPatcher patcher(p, builder);
  const int rc = run(patcher);
  g_piVrkSystem->FreePatchBuilder(builder);
  if (rc != VRKERR_OK) throw Failed("", rc);
  return vrk::PatchFilePath(path_);
}

std::string Archive::CreatePatch() {
  Lock lock(mutex_);
  RequirePatchable();
  IOrvelPacket* p = packet_;
  uint32_t base = 0;
  p->GetPacketVersion(nullptr, nullptr, &base);
  size_t newer = 0;
  for (const auto& file : FilesLocked()) {
    uint32_t high = 0, low = 0;
    p->GetFileVersion(file.second.c_str(), &high, &low);
    newer += low > base;
  }
  // The library would write nothing, and a patch file from before would
  // stay as it is.
  if (newer == 0) return std::string();
  return RunPatcher([](CVrkPatcher& patcher) { return patcher.CreatePatchFile(); });
}

std::string Archive::ExtendPatch() {
  Lock lock(mutex_);
  return RunPatcher([](CVrkPatcher& patcher) { return patcher.ExtendPatchFile(); });
}

bool Archive::ApplyPatch(const std::string& patchPath) {
  Lock lock(mutex_);
  RequireWritable();
  std::vector<char> path(patchPath.begin(), patchPath.end());
  path.push_back('\0');
  Stamp before, after;
  tree_.reset();
  packet_->GetPacketVersion(&before.high, &before.low, nullptr);
  bool wrote = true;
  RunPatcher([&](CVrkPatcher& patcher) {
    const int rc = patcher.ProceedPatch(path.data());
    // The copy held every file of the patch already; only its stamp rose.
    if (rc == VRKERR_NOT_UPDATING) wrote = false;
    return rc == VRKERR_NOT_UPDATING ? VRKERR_OK : rc;
  });
  // A patch at or below the copy's level changes nothing.
  packet_->GetPacketVersion(&after.high, &after.low, nullptr);
  return wrote && (after.high != before.high || after.low != before.low);
}

}  // namespace orvelpy
