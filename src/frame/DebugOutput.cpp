#include "frame/DebugOutput.h"

#include <cstdio>
#include <cstdlib>

namespace orvel {
namespace {
DebugHook g_debugHook = nullptr;
}  // namespace

void SetDebugHook(DebugHook hook) { g_debugHook = hook; }

void DebugOutput(const char* message) {
  if (!message) return;
  if (g_debugHook) {
    g_debugHook(message);
    return;
  }
  // Read each time: a host may set the variable after loading the library.
  if (std::getenv("VRK_DEBUG")) std::fprintf(stderr, "%s\n", message);
}

}  // namespace orvel
