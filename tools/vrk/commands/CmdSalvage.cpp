// vrk salvage: writes a new archive holding every file of a damaged one whose
// stored bytes still pass their checksum and decode to their size, and says
// what was lost and why. Names come from the tree record when it survived,
// else from the lines of the name list that still hash to a file, else they
// are made up from the file's hashes under "(salvaged)/" (in lower case, as
// the archive keeps every name).
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <cstdio>
#include <memory>
#include <string>

#include "archive/ArchiveNaming.h"
#include "archive/FreshArchive.h"
#include "archive/PacketHandle.h"
#include "archive/SalvageWords.h"
#include "commands/Commands.h"
#include "console/Counted.h"
#include "console/ErrorReport.h"
#include "console/PrintableText.h"
#include "console/StopSignals.h"
#include "tree/RecordCodec.h"

namespace vrk {
namespace {

struct SalvageOptions {
  std::string damaged;
  std::string target;
  bool quiet = false;
};

// Owns one buffer of CVrkSalvage::ReadEntry.
class EntryData {
 public:
  explicit EntryData(CVrkSalvage& salvage) : salvage_(salvage) {}
  ~EntryData() { salvage_.FreeBuffer(data_); }
  EntryData(const EntryData&) = delete;
  EntryData& operator=(const EntryData&) = delete;
  int Read(unsigned index, bool decoded) {
    salvage_.FreeBuffer(data_);
    data_ = nullptr;
    return salvage_.ReadEntry(index, decoded ? 1 : 0, &data_);
  }
  const void* get() const { return data_; }

 private:
  CVrkSalvage& salvage_;
  void* data_ = nullptr;
};

// Block flag of a file stored compressed.
constexpr unsigned kStoredCompressed = 1;
// The create flag that enciphers the tables.
constexpr unsigned kEncipherTables = 2;

// Gives the entries the names of the tree record, spelled as the record
// keeps them, when the record itself came through.
void NameFromTreeRecord(CVrkSalvage& salvage) {
  if (!salvage.NameEntry(kRecordFileName)) return;
  for (unsigned i = 0; i < salvage.GetEntryCount(); ++i) {
    VrkSalvageEntry e;
    if (!salvage.GetEntry(i, &e) || !e.name || e.name != std::string(kRecordFileName)) continue;
    EntryData data(salvage);
    if (data.Read(i, true) != VRK_SALVAGE_OK) return;
    TreeRecord record;
    std::string problem;
    if (DecodeTreeRecord(static_cast<const unsigned char*>(data.get()), e.originalSize, &record,
                         &problem) != RecordDecode::kRead)
      return;
    for (const TreeEntry& t : record.Entries())
      if (t.kind == EntryKind::kFile) salvage.NameEntry(StoredName(t).c_str());
    return;
  }
}

void AddEntry(const Packet& out, const std::string& name, const VrkSalvageEntry& e,
              const void* data) {
  const int rc =
      (e.flags & kStoredCompressed)
          ? out->AddCompressedFile(name.c_str(), VRK_ADD_REPLACE, data, e.storedSize,
                                   e.originalSize, e.versionHigh, e.versionLow)
          : out->AddFileFromMemory(name.c_str(), VRK_ADD_REPLACE, data, e.storedSize,
                                   e.versionHigh, e.versionLow);
  if (rc < 0 || (rc == 0 && g_nVrkErrCode != 0)) throw LibraryError(out.About(name));
}

int RunSalvage(const SalvageOptions& o) {
  if (!HasVrkExtension(o.damaged) || !HasVrkExtension(o.target))
    throw UsageError("salvage reads and writes advanced archives, whose names end in .vrk");
  CatchStopSignals();
  CVrkSalvage salvage;
  if (!salvage.Open(o.damaged.c_str())) throw LibraryError(o.damaged);
  NameFromTreeRecord(salvage);

  const unsigned count = salvage.GetEntryCount();
  FreshArchive fresh(o.target, true);
  size_t recovered = 0;
  size_t lost = salvage.GetLostEntryCount();
  size_t madeUp = 0;
  {
    // The new archive keeps the old one's table protection, base version
    // (which patches start from) and stamp.
    Version stamp;
    unsigned base = 0;
    salvage.GetPacketVersion(&stamp.high, &stamp.low, &base);
    const unsigned protect = (salvage.GetPacketFlags() & VRK_CREATE_PROTECT) ? kEncipherTables : 0;
    Packet out = Packet::Create(fresh.TemporaryPath(), VRK_CREATE_ADVANCED | protect, count + 2,
                                Version{0, base}, o.target);
    UpdateBracket bracket(out);
    out->SetPacketVersion(stamp.high, stamp.low);
    EntryData data(salvage);
    for (unsigned i = 0; i < count; ++i) {
      StopIfRequested();
      VrkSalvageEntry e;
      salvage.GetEntry(i, &e);
      const bool named = e.name != nullptr;
      const std::string name = named ? e.name : SalvagedName(e);
      const int result = data.Read(i, false);
      if (result != VRK_SALVAGE_OK) {
        ++lost;
        PrintProblem(o.damaged + ": " + Printable(name) + ": lost: " + SalvageLossReason(result));
        continue;
      }
      AddEntry(out, name, e, data.get());
      ++recovered;
      if (!named) {
        ++madeUp;
        if (!o.quiet) std::printf("%s: named by its hashes\n", Printable(name).c_str());
      }
    }
    bracket.Commit();
  }
  fresh.Place();
  if (salvage.GetLostEntryCount())
    PrintProblem(o.damaged + ": lost: " + Counted(salvage.GetLostEntryCount(), "file") +
                 " whose table entries are damaged");
  if (!o.quiet)
    std::printf("%s: %s recovered, %s lost, %s named by hashes\n", o.target.c_str(),
                Counted(recovered, "file").c_str(), Counted(lost, "file").c_str(),
                Counted(madeUp, "file").c_str());
  return lost ? kExitFailure : 0;
}

}  // namespace

void AddSalvageCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<SalvageOptions>();
  CLI::App* cmd = app.add_subcommand(
      "salvage", "Write a new archive with every intact file of a damaged advanced archive");
  cmd->add_option("damaged", o->damaged, "Damaged archive")->required();
  cmd->add_option("new", o->target, "Archive to write")->required();
  cmd->add_flag("-q,--quiet", o->quiet, "No summary");
  cmd->callback([o, &action] { action = [o] { return RunSalvage(*o); }; });
}

}  // namespace vrk
