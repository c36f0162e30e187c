// Collects the assertion reports raised while an object is alive.
#ifndef ORVEL_TESTS_CODEC_ASSERT_CAPTURE_H
#define ORVEL_TESTS_CODEC_ASSERT_CAPTURE_H

#include <string>
#include <vector>

#include "frame/AssertReport.h"

namespace orvel_test {

class AssertCapture {
 public:
  AssertCapture() {
    Reports().clear();
    orvel::SetAssertHook(&Collect);
  }
  ~AssertCapture() { orvel::SetAssertHook(nullptr); }
  AssertCapture(const AssertCapture&) = delete;
  AssertCapture& operator=(const AssertCapture&) = delete;

  const std::vector<std::string>& reports() const { return Reports(); }
  std::vector<std::string> take() {
    std::vector<std::string> out;
    out.swap(Reports());
    return out;
  }

  // The message a report shows for an expression at a source line.
  static std::string Message(const char* expr, const char* source, int line) {
    return std::string("Assert Fail, ") + expr + ", File .\\" + source +
           " (Line " + std::to_string(line) + ")";
  }

 private:
  static std::vector<std::string>& Reports() {
    static std::vector<std::string> reports;
    return reports;
  }
  static void Collect(const char* message) { Reports().push_back(message); }
};

}  // namespace orvel_test

#endif
