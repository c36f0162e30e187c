// The reads of a patch build, held together in runs of records.
#ifndef ORVEL_PATCH_BUILD_READ_RUNS_H
#define ORVEL_PATCH_BUILD_READ_RUNS_H

#include "advance/VrkAdvance.h"
#include "frame/Callbacks.h"
#include "frame/ErrorCode.h"

namespace orvel {

// Reads of a build held together in runs of records: the archive's
// committed state is checked, and its commit lock taken, once per run
// instead of once per read. A run ends after kRunRecords records, so that
// other writers' commits wait little, and never spans a call to the host:
// with a progress callback set, nothing is held.
class ReadRuns {
 public:
  explicit ReadRuns(IOrvelPacket* packet)
      : m_advance(HasCallback(VRKCB_MAKE_PATCH) ? nullptr : dynamic_cast<CVrkAdvance*>(packet)) {}
  ~ReadRuns() { End(); }
  ReadRuns(const ReadRuns&) = delete;
  ReadRuns& operator=(const ReadRuns&) = delete;

  // Before the reads of record `index`.
  void Before(unsigned int index) {
    if (!m_advance) return;
    if (m_held && index - m_first >= kRunRecords) End();
    // A run that cannot be had leaves each read to take the lock itself.
    if (!m_held && m_advance->BeginReadRun() == VRKERR_OK) {
      m_held = true;
      m_first = index;
    }
  }
  void End() {
    if (m_held) m_advance->EndReadRun();
    m_held = false;
  }

 private:
  static constexpr unsigned int kRunRecords = 64;
  CVrkAdvance* m_advance;
  bool m_held = false;
  unsigned int m_first = 0;
};

}  // namespace orvel

#endif
