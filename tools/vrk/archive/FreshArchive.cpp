#include "archive/FreshArchive.h"

#include <signal.h>
#include <unistd.h>

#include <OrvelPacket.h>

#include "archive/ArchiveNaming.h"
#include "archive/ChangeFailure.h"
#include "console/ErrorReport.h"
#include "archive/TemporaryArchive.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

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
    : final_(path),
      temporary_(TemporaryArchivePath(path, getpid(), advanced)),
      advanced_(advanced) {
  RemoveStaleTemporaries(path);
  lock_ = ClaimTemporaryArchive(temporary_, path);
  RemoveOnFault(TemporaryArchiveFiles(temporary_, advanced_));
}

FreshArchive::~FreshArchive() {
  RemoveOnFault({});
  if (!placed_)
    for (const std::string& p : TemporaryArchiveFiles(temporary_, advanced_)) unlink(p.c_str());
  close(lock_);
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
  if (rc != VRKERR_OK)
    throw ToolError(final_ + ": " + DescribeChangeFailure(ArchiveDiskFiles(final_, advanced_), rc));
  placed_ = true;
}

}  // namespace vrk
