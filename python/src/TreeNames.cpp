#include "TreeNames.h"

#include <OrvelPacket.h>
#include <sys/stat.h>

#include <memory>
#include <unordered_set>

#include "archive/ArchiveNaming.h"
#include "tree/RecordCodec.h"

namespace orvelpy {
namespace {

struct KindFacts {
  vrk::EntryKind kind;
  const char* name;
  uint32_t type;  // st_mode's type bits
};

constexpr KindFacts kKinds[] = {
    {vrk::EntryKind::kFile, "file", S_IFREG},
    {vrk::EntryKind::kHardLink, "hardlink", S_IFREG},
    {vrk::EntryKind::kDirectory, "directory", S_IFDIR},
    {vrk::EntryKind::kLink, "symlink", S_IFLNK},
    {vrk::EntryKind::kFifo, "fifo", S_IFIFO},
    {vrk::EntryKind::kCharDevice, "chardev", S_IFCHR},
    {vrk::EntryKind::kBlockDevice, "blockdev", S_IFBLK},
};

const KindFacts& FactsOfKind(vrk::EntryKind kind) {
  for (const KindFacts& k : kKinds)
    if (k.kind == kind) return k;
  return kKinds[0];
}

// The record's bytes, or nothing when the archive has none or they cannot
// be read; the caller decodes them.
std::vector<unsigned char> StoredRecord(IOrvelPacket* packet) {
  const int block = packet->GetFileBlockIndex(vrk::kRecordFileName);
  if (block < 0) return {};
  unsigned size = 0;
  void* data = packet->ReadFileAlloc(vrk::kRecordFileName, &size, static_cast<unsigned>(block));
  if (!data) return {};
  std::vector<unsigned char> bytes(static_cast<unsigned char*>(data),
                                   static_cast<unsigned char*>(data) + size);
  packet->FreeBuffer(data);
  return bytes;
}

}  // namespace

RecordSignature TreeNames::SignatureOf(IOrvelPacket* packet) {
  RecordSignature s;
  s.block = packet->GetFileBlockIndex(vrk::kRecordFileName);
  if (s.block >= 0) {
    const unsigned block = static_cast<unsigned>(s.block);
    s.storedSize = packet->GetStoredSize(vrk::kRecordFileName, block);
    s.originalSize = packet->GetOriginalSize(vrk::kRecordFileName, block);
  }
  s.files = packet->GetFileCount();
  return s;
}

TreeNames TreeNames::Read(IOrvelPacket* packet, std::vector<std::string> listed) {
  TreeNames names;
  const std::vector<unsigned char> bytes = StoredRecord(packet);
  std::string problem;
  if (!bytes.empty() && vrk::DecodeTreeRecord(bytes.data(), bytes.size(), &names.record_,
                                              &problem) != vrk::RecordDecode::kRead)
    names.record_ = vrk::TreeRecord();
  for (std::string& name : listed) {
    uint64_t alias = 0;
    if (vrk::ParseAliasName(name, &alias) || names.record_.FindFile(name)) continue;
    names.unrecorded_.push_back(std::move(name));
  }
  return names;
}

const vrk::TreeEntry* TreeNames::FileOf(const vrk::TreeEntry& e) const {
  if (e.kind == vrk::EntryKind::kFile) return &e;
  if (e.kind != vrk::EntryKind::kHardLink) return nullptr;
  const vrk::TreeEntry* holder = record_.FindExact(e.target);
  return holder && holder->kind == vrk::EntryKind::kFile ? holder : nullptr;
}

std::string TreeNames::Stored(const std::string& name) const {
  const vrk::TreeEntry* e = record_.Find(name);
  if (!e && record_.FindFile(name)) return std::string();  // several differ only in case
  const vrk::TreeEntry* file = e ? FileOf(*e) : nullptr;
  return file ? vrk::StoredName(*file) : name;
}

std::string TreeNames::Spelled(const std::string& stored) const {
  const vrk::TreeEntry* file = record_.FindFile(stored);
  return file ? file->name : stored;
}

std::vector<std::string> TreeNames::Names() const {
  std::vector<std::string> out;
  for (const vrk::TreeEntry& e : record_.Entries())
    if (FileOf(e)) out.push_back(e.name);
  out.insert(out.end(), unrecorded_.begin(), unrecorded_.end());
  return out;
}

EntryFacts TreeNames::FactsOf(const vrk::TreeEntry& e, uint64_t size) const {
  const KindFacts& kind = FactsOfKind(e.kind);
  EntryFacts f;
  f.name = e.name;
  f.kind = kind.name;
  f.mode = kind.type | e.mode;
  f.size = e.kind == vrk::EntryKind::kLink ? e.target.size() : size;
  f.seconds = e.seconds;
  f.nanoseconds = e.nanoseconds;
  if (const vrk::Owner* owner = record_.OwnerOf(e)) {
    f.uid = owner->uid;
    f.gid = owner->gid;
    f.user = owner->user;
    f.group = owner->group;
  }
  if (e.kind == vrk::EntryKind::kLink || e.kind == vrk::EntryKind::kHardLink) f.target = e.target;
  f.device = e.device;
  f.recorded = true;
  return f;
}

EntryFacts TreeNames::ListedFacts(const std::string& name, uint64_t size) {
  EntryFacts f;
  f.name = name;
  f.kind = "file";
  // The archive keeps no mode: readable by all, as vrk extracts such files.
  f.mode = S_IFREG | 0644;
  f.size = size;
  return f;
}

}  // namespace orvelpy
