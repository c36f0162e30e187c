// Runs a writer in a child process that a fault plan stops, and copies the
// directory it left the way users copy directories, for tests of recovery.
#ifndef ORVEL_TESTS_COMMON_STOPPED_RUNS_H
#define ORVEL_TESTS_COMMON_STOPPED_RUNS_H

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "frame/FaultPoints.h"

namespace orvel_test {

// The ways a writer is stopped: killed, or the machine losing its unsynced
// writes (all of them, or every other one).
constexpr orvel::FaultAction kStops[] = {orvel::FaultAction::kCrash,
                                         orvel::FaultAction::kLoseUnsynced,
                                         orvel::FaultAction::kTearUnsynced};

inline std::string StopName(orvel::FaultAction action, uint64_t k) {
  static const char* const kNames[] = {"", "killed", "", "power lost", "write-back torn"};
  return std::string(kNames[static_cast<int>(action)]) + " before point " + std::to_string(k);
}

// The number of fault points `work` passes.
inline uint64_t CountPoints(const std::function<void()>& work) {
  orvel::ArmFaultPlan(orvel::FaultAction::kNone, 0);
  work();
  const uint64_t points = orvel::FaultPointsPassed();
  orvel::DisarmFaultPlan();
  return points;
}

// Runs `work` in a child with `action` armed at point `k`. The child's exit
// status, or -1 when a signal ended it.
inline int RunStopped(orvel::FaultAction action, uint64_t k, const std::function<void()>& work) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    orvel::ArmFaultPlan(action, k);
    work();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Copies the files of `from` into a new directory `to`: new inodes, and the
// modification times kept (as cp -a or rsync -a do) or new (as cp -r).
inline void CopyDirectory(const std::filesystem::path& from, const std::filesystem::path& to,
                          bool keepTimes) {
  namespace fs = std::filesystem;
  fs::remove_all(to);
  fs::create_directory(to);
  for (const auto& e : fs::directory_iterator(from)) {
    const fs::path target = to / e.path().filename();
    fs::copy_file(e.path(), target);
    if (keepTimes) fs::last_write_time(target, fs::last_write_time(e.path()));
  }
}

}  // namespace orvel_test

#endif
