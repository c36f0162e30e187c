// How vrk reports trouble: one line on standard error per problem, naming the
// archive or file, and for library failures the error constant and its
// meaning. Commands throw ToolError; main prints it and exits with its code.
#ifndef VRK_ERROR_REPORT_H
#define VRK_ERROR_REPORT_H

#include <stdexcept>
#include <string>

namespace vrk {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A failure that ends the command. what() is the message without the
// "vrk: " prefix.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message, int exitCode = kExitFailure)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// A wrong command line (exit status 2).
inline ToolError UsageError(const std::string& message) {
  return ToolError(message, kExitUsage);
}

// "VRKERR_BAD_SIGNATURE", or "unknown error" for codes outside the table.
const char* ErrorName(int code);
// "not an archive of this format".
const char* ErrorMeaning(int code);
// "VRKERR_BAD_SIGNATURE (-6): not an archive of this format".
std::string DescribeError(int code);

// The library's last error code, as a ToolError about `subject` (an archive
// path, or "archive: name").
ToolError LibraryError(const std::string& subject);
ToolError LibraryError(const std::string& subject, int code);

// Prints "vrk: message" on standard error.
void PrintProblem(const std::string& message);

// "subject: strerror(errno)".
std::string SystemProblem(const std::string& subject, int err);

}  // namespace vrk

#endif
