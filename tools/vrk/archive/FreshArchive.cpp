#include "archive/FreshArchive.h"

#include <signal.h>
#include <unistd.h>

#include <OrvelPacket.h>

#include "archive/ArchiveNaming.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

// The library's rollback journal beside an archive.
std::string JournalOf(const std::string& archive) { return archive + "-journal"; }

// Holds SIGINT and SIGTERM back while alive; they arrive when it goes.
class HeldSignals {
 public:
  HeldSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, &old_);
  }
  ~HeldSignals() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

FreshArchive::FreshArchive(const std::string& path, bool advanced)
    : final_(path), advanced_(advanced) {
  const std::string base = BaseName(path);
  temporary_ = path.substr(0, path.size() - base.size()) + "." + base + "-new" + std::to_string(getpid()) + (advanced ? ".vrk" : "");
  RemoveOnFault(TemporaryFiles());
}

FreshArchive::~FreshArchive() {
  RemoveOnFault({});
  if (placed_) return;
  for (const std::string& p : TemporaryFiles()) unlink(p.c_str());
}

std::vector<std::string> FreshArchive::TemporaryFiles() const {
  std::vector<std::string> files = ArchiveDiskFiles(temporary_, advanced_);
  files.push_back(JournalOf(temporary_));
  return files;
}

void FreshArchive::Place() {
  HeldSignals held;
  RemoveOnFault({});
  const std::vector<std::string> from = ArchiveDiskFiles(temporary_, advanced_);
  const std::vector<std::string> to = ArchiveDiskFiles(final_, advanced_);
  std::vector<const char*> targets, replacements;
  for (size_t i = 0; i < from.size(); ++i) {
    targets.push_back(to[i].c_str());
    replacements.push_back(from[i].c_str());
  }
  // The library exchanges the files under a journal of the archive: a
  // crash at any point leaves the old archive or the new one, whole. An
  // update of the old archive cut short is settled first.
  const int rc = VrkReplaceArchive(targets.data(), replacements.data(),
                                   static_cast<unsigned>(targets.size()));
  if (rc != VRKERR_OK) throw LibraryError(final_, rc);
  placed_ = true;
}

}  // namespace vrk
