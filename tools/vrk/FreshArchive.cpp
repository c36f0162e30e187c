#include "FreshArchive.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "ArchiveNaming.h"
#include "ErrorReport.h"
#include "PacketHandle.h"
#include "StopSignals.h"

namespace vrk {
namespace {

// The library's rollback journal beside an archive.
std::string JournalOf(const std::string& archive) { return archive + "-journal"; }

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

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
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  temporary_ = dir + "." + base + "-new" + std::to_string(getpid()) + (advanced ? ".vrk" : "");
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
  // A journal left by an interrupted writer of the old archive would be
  // played back onto the new one at its next open: let the library settle
  // the old archive first, and drop the journal if it could not.
  if (Exists(JournalOf(final_))) {
    try {
      Packet::Open(final_);
    } catch (const ToolError&) {
    }
    unlink(JournalOf(final_).c_str());
  }
  HeldSignals held;
  RemoveOnFault({});
  const std::vector<std::string> from = ArchiveDiskFiles(temporary_, advanced_);
  const std::vector<std::string> to = ArchiveDiskFiles(final_, advanced_);
  // Side files first: the archive file itself is what readers open.
  for (size_t i = from.size(); i-- > 0;)
    if (rename(from[i].c_str(), to[i].c_str()) != 0)
      throw ToolError(SystemProblem(to[i], errno));
  placed_ = true;
  int dir = open(DirectoryOf(final_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

}  // namespace vrk
