#include "archive/PacketHandle.h"

#include <OrvelPacket.h>
#include <unistd.h>

#include <cstdio>
#include <unordered_set>

#include "archive/ChangeFailure.h"
#include "archive/OpenFailure.h"
#include "archive/RemoteArchive.h"

namespace vrk {

Packet Packet::Open(const std::string& path) {
  VrkClearThreadErrorCode();
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(path.c_str());
  if (!p) {
    // LoadPacket leaves the code untouched when the header names another
    // format version.
    const int set = VrkThreadErrorCode();
    const int code = set == VRKERR_OK ? VRKERR_BAD_SIGNATURE : set;
    if (IsUrl(path)) throw ToolError(DescribeRemoteFailure(ShownUrl(path), code));
    throw ToolError(DescribeOpenFailure(path, code)).WithHint(OpenFailureHint(path, code));
  }
  // A URL is shown without its credentials.
  return Packet(p, path, IsUrl(path) ? ShownUrl(path) : path);
}

Packet Packet::Create(const std::string& path, unsigned flags, unsigned tableSize,
                      Version version, const std::string& shownAs) {
  const std::string& shown = shownAs.empty() ? path : shownAs;
  IOrvelPacket* p = g_piVrkSystem->NewPacket(path.c_str(), static_cast<int>(flags),
                                             VRK_FORMAT_VERSION, tableSize, version.high,
                                             version.low);
  if (!p) {
    const bool advanced = (flags & VRK_CREATE_ADVANCED) != 0;
    throw ToolError(shown + ": " + DescribeChangeFailure(ArchiveDiskFiles(path, advanced), g_nVrkErrCode));
  }
  return Packet(p, path, shown);
}

Packet::Packet(Packet&& other) noexcept
    : packet_(other.packet_), path_(std::move(other.path_)), shown_(std::move(other.shown_)) {
  other.packet_ = nullptr;
}

Packet::~Packet() { Discard(); }

void Packet::Discard() {
  if (packet_) g_piVrkSystem->FreePacket(packet_);
  packet_ = nullptr;
}

ToolError Packet::Failure(int code, const std::string& name) const {
  // A change that needs names fails on a name list that cannot be read; it
  // is reported as the damaged archive it is, not as damaged file data.
  char first[16];
  if (IsUnreadableNameList(code) &&
      IsUnreadableNameList(packet_->GetFileName(0, first, sizeof first)))
    return ToolError(DescribeOpenFailure(path_, code)).WithHint(OpenFailureHint(path_, code));
  const std::string reason = DescribeChangeFailure(ArchiveDiskFiles(path_, Advanced()), code);
  return ToolError((name.empty() ? shown_ : About(name)) + ": " + reason);
}

bool Packet::Advanced() const { return (packet_->GetPacketFlags() & VRK_CREATE_ADVANCED) != 0; }

std::vector<std::string> Packet::Names() const {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  char buffer[1024];
  // Index 0 is the name list itself. The list ends where GetFileName fails;
  // the bound only guards against a library that never fails.
  for (unsigned i = 1; i < (1u << 28); ++i) {
    const int rc = packet_->GetFileName(i, buffer, sizeof buffer);
    // A damaged name list reads as a damaged archive, as it did when the
    // list was read at open.
    if (IsUnreadableNameList(rc))
      throw ToolError(DescribeOpenFailure(path_, rc)).WithHint(OpenFailureHint(path_, rc));
    if (rc != 0) break;
    std::string name(buffer);
    if (name.empty() || IsOwnEntry(name) || !seen.insert(LowerAscii(name)).second) continue;
    names.push_back(std::move(name));
  }
  return names;
}

std::map<NameHashes, std::string> Packet::NamesByHash() const {
  std::vector<std::string> names = Names();
  names.push_back(kListFileName);
  names.push_back(kRecordFileName);
  std::map<NameHashes, std::string> byHash;
  for (const std::string& name : names) {
    NameHashes h{};
    packet_->GetFileHash(name.c_str(), &h[0], &h[1], &h[2]);
    byHash.emplace(h, name);
  }
  return byHash;
}

bool Packet::Contains(const std::string& name) const {
  return packet_->GetFileBlockIndex(name.c_str()) >= 0;
}

Version Packet::Stamp() const {
  Version v;
  packet_->GetPacketVersion(&v.high, &v.low, nullptr);
  return v;
}

PatchBuilder::PatchBuilder(const Packet& packet) : builder_(nullptr) {
  if (!packet.Advanced())
    throw ToolError(packet.Shown() + ": not an advanced archive (patches need that variant)");
  builder_ = g_piVrkSystem->NewPatchBuilder(packet.get());
  if (!builder_) throw LibraryError(packet.Shown(), VRKERR_NO_BUILDER);
}

PatchBuilder::~PatchBuilder() { g_piVrkSystem->FreePatchBuilder(builder_); }

UpdateBracket::UpdateBracket(Packet& packet) : packet_(packet), open_(true) {
  packet_->BeginUpdate();
}

UpdateBracket::~UpdateBracket() {
  if (open_) packet_.Discard();
}

void UpdateBracket::Commit() {
  open_ = false;
  // A commit writes the whole name list and tables: with many names that
  // takes a moment, which a terminal user should see is not a hang.
  constexpr unsigned kManyNames = 100000;
  const unsigned names = packet_->GetFileCount();
  const bool status = names >= kManyNames && isatty(STDERR_FILENO);
  if (status) std::fprintf(stderr, "\rwriting the name list and tables (%u files)...", names);
  int rc = packet_->EndUpdate();
  if (status) std::fprintf(stderr, "\r\033[K");
  if (rc != 0) throw packet_.Failure(rc);  // the library rolled the update back
}

}  // namespace vrk
