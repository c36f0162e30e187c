// How vrk reports trouble: one line on standard error per problem, naming the
// archive (or its side file) and the file inside it, then the reason in plain
// words, with the system's reason when a system call failed. The library's
// error constant is added only under --debug. Commands throw ToolError; main
// prints it and exits with its code.
//
// Exit statuses, as tar gives them: 0 all done; 1 done to the end, but some
// files were skipped, could not be read or written, were not found or differ
// (a warning line each, though -q of create and add silences the skipped
// sockets and devices); 2 a fatal error (the command stopped, or could not
// do its work: an archive that does not open, a change that could not be
// committed) or a wrong command line; 128 + n when signal n stopped it.
#ifndef VRK_ERROR_REPORT_H
#define VRK_ERROR_REPORT_H

#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace vrk {

constexpr int kExitWarnings = 1;
constexpr int kExitFatal = 2;
constexpr int kExitUsage = 2;

// A failure that ends the command (fatal, unless it says otherwise). what()
// is the message without the "vrk: " prefix.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message, int exitCode = kExitFatal)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int ExitCode() const { return exitCode_; }
  // A line of advice printed after the message.
  ToolError WithHint(std::string hint) && {
    hint_ = std::move(hint);
    return std::move(*this);
  }
  const std::string& Hint() const { return hint_; }
  // The errno of the system call that failed, or 0.
  int SystemErrno() const { return errno_; }
  ToolError WithErrno(int err) && {
    errno_ = err;
    return std::move(*this);
  }

 private:
  int exitCode_;
  std::string hint_;
  int errno_ = 0;
};

// A wrong command line (exit status 2).
inline ToolError UsageError(const std::string& message) {
  return ToolError(message, kExitUsage);
}

// --debug: library failures also name their VRKERR_* constant.
void SetDebugReports(bool on);

// "VRKERR_BAD_SIGNATURE", or "unknown error" for codes outside the table.
const char* ErrorName(int code);
// The reason for a library failure with `code`: "not an archive of this
// format"; "the disk is full: No space left on device" when the library's
// last system error explains it; under --debug followed by
// " [VRKERR_BAD_SIGNATURE -6]".
std::string DescribeError(int code);
// " [VRKERR_... -n]" under --debug, else "".
std::string DebugSuffix(int code);
// True for the codes of failed reads, writes and file creation, whose real
// reason is a system error.
bool IsTransferFailure(int code);

// The library's last error code, as a ToolError about `subject` (an archive
// path, or "archive: name").
ToolError LibraryError(const std::string& subject);
ToolError LibraryError(const std::string& subject, int code);

// Prints "vrk: message" on standard error.
void PrintProblem(const std::string& message);

// "subject: strerror(errno)".
std::string SystemProblem(const std::string& subject, int err);
// SystemProblem as a ToolError that keeps `err`, for callers that tell a
// full disk from a file that could not be written.
ToolError SystemFailure(const std::string& subject, int err);
// True for the errors after which no further write to the same place can
// succeed: a full disk or quota, a read-only file system.
bool EndsAllWrites(int err);

// Runs `work`, a change that stays whole or not at all (the archive rolls
// back what a failed or stopped one did); when it fails, its message goes
// on with "; " and `undone` ("nothing was added"), with the same status.
template <class Work>
int AllOrNothing(const std::string& undone, Work&& work) {
  try {
    return work();
  } catch (const ToolError& e) {
    throw ToolError(std::string(e.what()) + "; " + undone, e.ExitCode());
  } catch (const std::bad_alloc&) {
    throw ToolError("out of memory; " + undone);
  }
}

}  // namespace vrk

#endif
