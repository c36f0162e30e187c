// vrk verify: reads every file back and reports each damaged one.
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <lzo/lzo1x.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Commands.h"
#include "Counted.h"
#include "ErrorReport.h"
#include "PacketHandle.h"
#include "PacketRead.h"
#include "ProgressBar.h"

namespace vrk {
namespace {

struct VerifyOptions {
  std::string archive;
  bool quiet = false;
};

// The basic archive keeps no checksums and its reader does not report a
// stream that decodes short, so for compressed files the stored stream is
// decoded here as well, with a bounds-checking decoder, and must give
// exactly the bytes the library returned.
void CheckStoredStream(const Packet& packet, const std::string& name, const FileBuffer& data) {
  const char* n = name.c_str();
  std::vector<unsigned char> stored(packet->GetFileStoredSize(n));
  int got = packet->ReadFileRaw(n, stored.data(), static_cast<unsigned>(stored.size()));
  if (got < 0 || static_cast<size_t>(got) != stored.size()) throw LibraryError(packet.About(name));
  std::vector<unsigned char> decoded(static_cast<size_t>(data.Size()) + 1);
  lzo_uint len = data.Size();
  int rc = lzo1x_decompress_safe(stored.data(), stored.size(), decoded.data(), &len, nullptr);
  if (rc != LZO_E_OK || len != data.Size() ||
      (len > 0 && std::memcmp(decoded.data(), data.Data(), len) != 0))
    throw ToolError(packet.About(name) + ": compressed data is damaged");
}

int RunVerify(const VerifyOptions& o) {
  Packet packet = Packet::Open(o.archive);
  packet->SetVerifyCheckSum(true);
  const bool advanced = packet.Advanced();
  std::vector<std::string> names = packet.Names();
  ProgressBar bar("verifying", names.size(), 0, o.quiet);

  size_t damaged = 0;
  for (const std::string& name : names) {
    try {
      FileBuffer data = ReadWholeEntry(packet, name);
      if (!advanced && packet->IsFileCompressed(name.c_str())) CheckStoredStream(packet, name, data);
    } catch (const ToolError& e) {
      bar.Finish();
      PrintProblem(e.what());
      ++damaged;
    }
    bar.Advance(0);
  }
  bar.Finish();
  const std::string files = Counted(names.size(), "file");
  if (damaged)
    std::printf("%s: %zu of %s damaged\n", o.archive.c_str(), damaged, files.c_str());
  else if (!o.quiet)
    std::printf("%s: %s intact\n", o.archive.c_str(), files.c_str());
  return damaged ? kExitFailure : 0;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, Action& action) {
  auto o = std::make_shared<VerifyOptions>();
  CLI::App* cmd = app.add_subcommand(
      "verify", "Read every file (checking checksums where the archive has them); exit 1 if any "
                "is damaged");
  cmd->add_option("archive", o->archive, "Archive to check")->required();
  cmd->add_flag("-q,--quiet", o->quiet, "No progress bar, and no line when all is well");
  cmd->callback([o, &action] { action = [o] { return RunVerify(*o); }; });
}

}  // namespace vrk
