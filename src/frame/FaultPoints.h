// Fault points of the file layer: every call that changes a file or a
// directory (write, truncate, rename, delete, sync) passes one first. Tests
// arm a plan that stops the process, or fails the call, at the k-th point,
// and so reach every instant at which a real crash or I/O error could strike
// a writer. Unarmed, a point costs one relaxed load.
#ifndef ORVEL_FRAME_FAULT_POINTS_H
#define ORVEL_FRAME_FAULT_POINTS_H

#include <cstdint>

namespace orvel {

enum class FaultKind { kWrite, kTruncate, kRename, kDelete, kSync };

enum class FaultAction {
  kNone,   // count points only
  kCrash,  // _exit(kFaultExitCode) just before the k-th point
  kFail,   // the k-th point fails with EIO; later points pass
  // Just before the k-th point the machine loses power: every write made
  // since the plan was armed and not yet synced is undone (all of them, or
  // every other one for a write-back cut short), then _exit as kCrash.
  kLoseUnsynced,
  kTearUnsynced,
  // Just before the k-th point the process stops itself (SIGSTOP), holding
  // whatever it holds, so that another process can look at the files; once
  // continued, the point passes.
  kStop,
};

constexpr int kFaultExitCode = 86;

// Arms a plan: the points are counted from 1 afresh, and `action` strikes
// at point `k` (never when k is 0).
void ArmFaultPlan(FaultAction action, uint64_t k);
void DisarmFaultPlan();
// Points passed since the plan was armed.
uint64_t FaultPointsPassed();

// Called by the file layer before a changing call. False: the call must fail
// (errno is set to EIO). Does not return when the plan crashes here. Writes
// and truncations name their descriptor and range (a truncation to
// `offset` passes count UINT64_MAX) and syncs their descriptor, so that a
// power loss can be simulated.
bool PassFaultPoint(FaultKind kind, int fd = -1, uint64_t offset = 0, uint64_t count = 0);

}  // namespace orvel

#endif
