// vrk extract: writes all or the named files below a directory, never
// outside it.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>

#include <memory>

#include "Commands.h"
#include "ErrorReport.h"
#include "PacketHandle.h"
#include "PacketRead.h"
#include "PathSafety.h"
#include "ProgressBar.h"

namespace vrk {
namespace {

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> names;
  std::string dir = ".";
  bool unsafePaths = false;
  bool quiet = false;
};

int RunExtract(const ExtractOptions& o) {
  Packet packet = Packet::Open(o.archive);
  std::vector<std::string> names = o.names.empty() ? packet.Names() : o.names;
  ExtractTarget target(o.dir, o.unsafePaths);

  uint64_t totalBytes = 0;
  for (const std::string& name : names) totalBytes += packet->GetFileOriginalSize(name.c_str());
  ProgressBar bar("extracting", names.size(), totalBytes, o.quiet);

  int failures = 0;
  for (const std::string& name : names) {
    try {
      FileBuffer data = ReadWholeEntry(packet, name);
      target.Write(name, data.Data(), data.Size());
      bar.Advance(data.Size());
    } catch (const ToolError& e) {
      bar.Finish();
      // Library errors already name the archive; the target's do not.
      std::string message = e.what();
      if (message.compare(0, o.archive.size(), o.archive) != 0) message = o.archive + ": " + message;
      PrintProblem(message);
      ++failures;
    }
  }
  bar.Finish();
  return failures ? kExitFailure : 0;
}

}  // namespace

void AddExtractCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<ExtractOptions>();
  CLI::App* cmd = app.add_subcommand(
      "extract", "Extract all or the named files, recreating their directories");
  cmd->add_option("archive", o->archive, "Archive to extract from")->required();
  cmd->add_option("names", o->names, "Files to extract (default: all)");
  cmd->add_option("-C,--directory", o->dir, "Directory to extract into (created if missing)");
  cmd->add_flag("--unsafe-paths", o->unsafePaths,
                "Allow absolute names, drive letters and '..' (writes outside the directory)");
  cmd->add_flag("-q,--quiet", o->quiet, "No progress bar");
  cmd->callback([o, &action] { action = [o] { return RunExtract(*o); }; });
}

}  // namespace vrk
