#include "frame/AssertReport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "frame/DebugOutput.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

static std::string g_last;
static void Capture(const char* message) { g_last = message; }

TEST(AssertReport, WritesOneCaptionedLineToStandardErrorOrTheHook) {
  CaptureStderr();
  orvel::ReportAssert("buffer", "VrkSystem.cpp", 74);
  EXPECT_EQ(GetCapturedStderr(),
            "Release Assert: Assert Fail, buffer, File .\\VrkSystem.cpp (Line 74)\n");
  orvel::SetAssertHook(Capture);
  orvel::ReportAssert("pulCRC", "checksum_crc.cpp", 79);
  orvel::SetAssertHook(nullptr);
  EXPECT_EQ(g_last, "Assert Fail, pulCRC, File .\\checksum_crc.cpp (Line 79)");
}

TEST(DebugOutput, IsSilentUnlessAskedAndCapturable) {
  for (const char* message : {"quiet", "loud"}) {
    message[0] == 'q' ? unsetenv("VRK_DEBUG") : setenv("VRK_DEBUG", "1", 1);
    CaptureStderr();
    orvel::DebugOutput(message);
    EXPECT_EQ(GetCapturedStderr(), message[0] == 'q' ? "" : "loud\n");
  }
  unsetenv("VRK_DEBUG");
  orvel::SetDebugHook(Capture), orvel::DebugOutput("hooked"), orvel::SetDebugHook(nullptr);
  EXPECT_EQ(g_last, "hooked");
}
