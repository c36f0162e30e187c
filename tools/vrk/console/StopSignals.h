// SIGINT and SIGTERM during commands that change files: the first one only
// asks the command to stop at its next safe point (between files, or while
// one is compressed), where a change not yet committed is rolled back whole
// and temporary files are removed; a second one ends the process at once
// (the library's journal then rolls the change back at the next open).
#ifndef VRK_STOP_SIGNALS_H
#define VRK_STOP_SIGNALS_H

#include <string>
#include <vector>

#include "console/ErrorReport.h"

namespace vrk {

// Ignores SIGXFSZ and SIGPIPE for the whole run: a write past the file size
// limit or into a closed pipe then fails with EFBIG or EPIPE, which the
// command reports (and an archive change rolls back), instead of killing
// vrk in the middle of a change.
void IgnoreWriteSignals();

// Installs the handlers; later signals are noted rather than fatal. Also
// catches SIGBUS, which a mapped input raises when its file shrinks while it
// is read: vrk then names the cause, removes the paths given to
// RemoveOnFault and exits with status 2.
void CatchStopSignals();

// The paths to remove on such a fault (replacing earlier ones); empty when
// there is nothing to remove.
void RemoveOnFault(const std::vector<std::string>& paths);

// The signal that asked to stop, or 0.
int StopRequested();

// Thrown at a safe point after a stop signal; main exits with 128 + signal.
class StopRequest : public ToolError {
 public:
  explicit StopRequest(int signal) : ToolError("interrupted", 128 + signal) {}
};

// Throws StopRequest when a stop signal came.
void StopIfRequested();

}  // namespace vrk

#endif
