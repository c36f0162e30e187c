#include "archive/NewArchive.h"

#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"
#include "archive/FreshArchive.h"
#include "archive/PacketHandle.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

// Room for every file and the name list at half load or less, so that
// insertions rarely collide and the tables need not grow.
unsigned DefaultTableSize(size_t files) {
  uint64_t want = 2 * (static_cast<uint64_t>(files) + 1);
  uint64_t size = 16;
  while (size < want && size < (1u << 30)) size *= 2;
  return static_cast<unsigned>(size);
}

}  // namespace

void AddNewArchiveOptions(CLI::App* cmd, NewArchiveOptions& options) {
  cmd->add_flag("--basic", options.basic, "Create the basic variant (one file, no checksums)");
  cmd->add_option("--table-size", options.tableSize,
                  "Hash table entries (rounded up to a power of two; default: room for the files)")
      ->check(CLI::Range(2u, 0x80000000u));
  cmd->add_flag("--encipher", options.encipher, "Encipher the tables (advanced archives)");
  cmd->add_flag("--scramble", options.scramble, "Scramble the block table (basic archives)");
}

void CheckNewArchive(const std::string& archive, const NewArchiveOptions& o) {
  const bool advanced = !o.basic;
  if (advanced && !HasVrkExtension(archive))
    throw UsageError(archive + ": an advanced archive's name must end in .vrk (or use --basic)");
  if (o.basic && o.encipher) throw UsageError("--encipher is for advanced archives; use --scramble");
  if (advanced && o.scramble) throw UsageError("--scramble is for basic archives; use --encipher");
}

int WriteNewArchive(const std::string& archive, TreeInputs& inputs, const PackOptions& pack,
                    const NewArchiveOptions& o) {
  const bool advanced = !o.basic;
  Version version = pack.stampText.empty() ? Version{} : ParseVersion(pack.stampText);
  DropArchiveFiles(inputs, ArchiveDiskFiles(archive, advanced), pack.quiet);
  const unsigned flags = (advanced ? VRK_CREATE_ADVANCED : 0u) | (o.encipher || o.scramble ? 2u : 0u);
  const size_t entries = inputs.files.size() + (pack.noAttributes ? 0 : 1);
  const unsigned tableSize = o.tableSize ? o.tableSize : DefaultTableSize(entries);

  // The new archive is written beside the old one and takes its place only
  // when it is complete; until then the old one stays as it was.
  FreshArchive fresh(archive, advanced);
  PackResult result;
  {
    Packet packet = Packet::Create(fresh.TemporaryPath(), flags, tableSize, version, archive);
    result = PackFiles(packet, inputs, pack, false);
  }
  StopIfRequested();
  if (result.problems && result.files == 0) throw ToolError(archive + ": nothing could be packed");
  fresh.Place();
  return FinishPack(archive, result, pack.quiet);
}

}  // namespace vrk
