#include "frame/FaultPoints.h"

#include <errno.h>
#include <unistd.h>

#include <atomic>

namespace orvel {
namespace {

std::atomic<bool> g_armed{false};
std::atomic<uint64_t> g_passed{0};
std::atomic<uint64_t> g_strikeAt{0};
FaultAction g_action = FaultAction::kNone;

}  // namespace

void ArmFaultPlan(FaultAction action, uint64_t k) {
  g_action = action;
  g_strikeAt.store(k, std::memory_order_relaxed);
  g_passed.store(0, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_release);
}

void DisarmFaultPlan() { g_armed.store(false, std::memory_order_release); }

uint64_t FaultPointsPassed() { return g_passed.load(std::memory_order_relaxed); }

bool PassFaultPoint(FaultKind) {
  if (!g_armed.load(std::memory_order_relaxed)) return true;
  const uint64_t n = g_passed.fetch_add(1, std::memory_order_relaxed) + 1;
  if (n != g_strikeAt.load(std::memory_order_relaxed)) return true;
  if (g_action == FaultAction::kCrash) _exit(kFaultExitCode);
  if (g_action == FaultAction::kFail) {
    errno = EIO;
    return false;
  }
  return true;
}

}  // namespace orvel
