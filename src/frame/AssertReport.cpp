#include "frame/AssertReport.h"

#include <cstdio>

namespace orvel {
namespace {

AssertHook g_assertHook = nullptr;
// One process-wide message buffer, as the report has always had.
char g_assertMessage[4096];

}  // namespace

void SetAssertHook(AssertHook hook) { g_assertHook = hook; }

void ReportAssert(const char* expr, const char* source, int line) {
  std::snprintf(g_assertMessage, sizeof g_assertMessage,
                "Assert Fail, %s, File .\\%s (Line %d)", expr ? expr : "",
                source ? source : "", line);
  if (g_assertHook) {
    g_assertHook(g_assertMessage);
    return;
  }
  std::fprintf(stderr, "Release Assert: %s\n", g_assertMessage);
}

}  // namespace orvel
