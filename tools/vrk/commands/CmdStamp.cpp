// vrk stamp: shows an archive's version stamp and base version, or sets the
// stamp that files added later carry.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <cstdio>
#include <memory>

#include "archive/ArchiveNaming.h"
#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"

namespace vrk {
namespace {

struct StampOptions {
  std::string archive;
  std::string versionText;  // positional
  std::string stampText;    // --stamp, the same as the other commands take
};

int RunStamp(const StampOptions& o) {
  if (!o.versionText.empty() && !o.stampText.empty())
    throw UsageError("give the new stamp once, as HIGH:LOW or --stamp HIGH:LOW");
  const std::string& text = o.stampText.empty() ? o.versionText : o.stampText;
  if (!text.empty()) {
    Version v = ParseVersion(text);
    Packet packet = Packet::Open(o.archive);
    VrkClearThreadErrorCode();
    packet->SetPacketVersion(v.high, v.low);
    if (VrkThreadErrorCode() != VRKERR_OK) throw packet.Failure(VrkThreadErrorCode());
    return 0;
  }
  Packet packet = Packet::Open(o.archive);
  uint32_t high = 0, low = 0, base = 0;
  packet->GetPacketVersion(&high, &low, &base);
  std::printf("stamp:         %s\nbase version:  %u\n", FormatVersion(high, low).c_str(), base);
  return 0;
}

}  // namespace

void AddStampCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<StampOptions>();
  CLI::App* cmd = app.add_subcommand(
      "stamp",
      "Show the archive's version stamp and base version, or set the stamp that files added "
      "later without --stamp carry");
  cmd->add_option("archive", o->archive, "Archive")->required();
  cmd->add_option("new-stamp", o->versionText, "New stamp, HIGH:LOW or LOW (HIGH then 0)");
  cmd->add_option("--stamp", o->stampText, "New stamp, as NEW-STAMP")->type_name("HIGH:LOW");
  cmd->callback([o, &action] { action = [o] { return RunStamp(*o); }; });
}

}  // namespace vrk
