// Reports broken internal preconditions without stopping the program.
#ifndef ORVEL_FRAME_ASSERT_REPORT_H
#define ORVEL_FRAME_ASSERT_REPORT_H

namespace orvel {

// Formats "Assert Fail, <expr>, File .\<source> (Line <line>)" and writes
// "Release Assert: " plus that message as one line to standard error (or to
// the test hook). Returns; does not touch g_nVrkErrCode. `source` is the
// source file name with its extension, e.g. "checksum_crc.cpp".
void ReportAssert(const char* expr, const char* source, int line);

// Test hook: when set, receives the formatted message (without the
// "Release Assert: " caption) instead of standard error. Null restores.
using AssertHook = void (*)(const char* message);
void SetAssertHook(AssertHook hook);

}  // namespace orvel

#endif
