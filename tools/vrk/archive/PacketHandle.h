// Owning handles around the library's archive objects and update brackets,
// turning library failures into ToolErrors that name the archive.
#ifndef VRK_PACKET_HANDLE_H
#define VRK_PACKET_HANDLE_H

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"

class IOrvelPacket;
class IVrkPatchBuilder;

namespace vrk {

// The three name hashes by which the archive finds a file.
using NameHashes = std::array<uint32_t, 3>;

class Packet {
 public:
  // Opens an existing archive of either variant.
  static Packet Open(const std::string& path);
  // Creates a new archive (the library replaces any file there). Messages
  // name it `shownAs` when given: create writes under a temporary name.
  static Packet Create(const std::string& path, unsigned flags, unsigned tableSize,
                       Version version, const std::string& shownAs = "");

  Packet(Packet&& other) noexcept;
  Packet& operator=(Packet&&) = delete;
  Packet(const Packet&) = delete;
  ~Packet();

  IOrvelPacket* operator->() const { return packet_; }
  IOrvelPacket* get() const { return packet_; }
  const std::string& Path() const { return path_; }
  // The archive as messages name it.
  const std::string& Shown() const { return shown_; }
  bool Advanced() const;

  // The names of the archive's name list without the archive's own entries
  // ("(listfile)" and the tree record), in list order, each once
  // (case-insensitively).
  std::vector<std::string> Names() const;
  // The names of the list and the archive's own entries by their three
  // hashes: patches and lookups by hash name files this way.
  std::map<NameHashes, std::string> NamesByHash() const;
  // True when the archive holds a file of this name.
  bool Contains(const std::string& name) const;
  // The archive's current stamp.
  Version Stamp() const;
  // "archive: name", for messages about one file inside the archive.
  std::string About(const std::string& name) const { return shown_ + ": " + name; }
  // A change that failed with library code `code`, about the archive or the
  // file `name` inside it, with the path at fault (DescribeChangeFailure).
  ToolError Failure(int code, const std::string& name = "") const;

  // Gives the library object back now. Inside an update bracket this rolls
  // the bracket's changes back on disk; the handle is then empty.
  void Discard();

 private:
  Packet(IOrvelPacket* packet, std::string path, std::string shown)
      : packet_(packet), path_(std::move(path)), shown_(std::move(shown)) {}
  IOrvelPacket* packet_;
  std::string path_;
  std::string shown_;
};

// A patch builder for an advanced archive, given back when the handle goes.
// The archive must outlive it.
class PatchBuilder {
 public:
  // Throws a ToolError naming the archive when it is not advanced.
  explicit PatchBuilder(const Packet& packet);
  ~PatchBuilder();
  PatchBuilder(const PatchBuilder&) = delete;
  PatchBuilder& operator=(const PatchBuilder&) = delete;
  IVrkPatchBuilder* get() const { return builder_; }

 private:
  IVrkPatchBuilder* builder_;
};

// BeginUpdate on construction; Commit() ends it and reports a failure. A
// bracket left without Commit (an error or a stop signal on the way)
// discards the archive object inside it, which rolls back everything the
// bracket did: a command's change is committed whole or not at all.
class UpdateBracket {
 public:
  explicit UpdateBracket(Packet& packet);
  ~UpdateBracket();
  UpdateBracket(const UpdateBracket&) = delete;
  UpdateBracket& operator=(const UpdateBracket&) = delete;
  void Commit();

 private:
  Packet& packet_;
  bool open_;
};

}  // namespace vrk

#endif
