#include "frame/AssertReport.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/DebugOutput.h"

namespace {
std::string g_last;
void Capture(const char* message) { g_last = message; }
}  // namespace

TEST(AssertReport, FormatsExpressionSourceAndLine) {
  orvel::SetAssertHook(Capture);
  orvel::ReportAssert("pulCRC", "checksum_crc.cpp", 79);
  orvel::SetAssertHook(nullptr);
  EXPECT_EQ(g_last, "Assert Fail, pulCRC, File .\\checksum_crc.cpp (Line 79)");
}

TEST(AssertReport, WritesOneCaptionedLineToStandardErrorAndReturns) {
  testing::internal::CaptureStderr();
  orvel::ReportAssert("buffer", "VrkSystem.cpp", 74);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Release Assert: Assert Fail, buffer, File .\\VrkSystem.cpp (Line 74)\n");
}

TEST(DebugOutput, IsSilentUnlessAskedAndCapturable) {
  unsetenv("VRK_DEBUG");
  testing::internal::CaptureStderr();
  orvel::DebugOutput("quiet");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  setenv("VRK_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  orvel::DebugOutput("loud");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "loud\n");
  unsetenv("VRK_DEBUG");
  orvel::SetDebugHook(Capture);
  orvel::DebugOutput("hooked");
  orvel::SetDebugHook(nullptr);
  EXPECT_EQ(g_last, "hooked");
}
