// vrk: packs files into archives and gets them back. See README.md, section
// "Command-line tool".
#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <lzo/lzoconf.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>

#include "commands/Commands.h"
#include "console/ErrorReport.h"
#include "console/StopSignals.h"

namespace {

const char kExitStatusHelp[] =
    "Exit status:\n"
    "  0      all done\n"
    "  1      done to the end, but some files were skipped, could not be read or\n"
    "         written, were not found or differ (damaged files, a tree record\n"
    "         that could not be used)\n"
    "  2      a fatal error: the command could not do its work (an archive that\n"
    "         does not open or cannot be written, no memory), or a wrong command\n"
    "         line\n"
    "  128+N  stopped by signal N";

// Why standard output failed earlier, when the failed write's errno is gone:
// a pipe whose reader left shows POLLERR on its writing end.
int EarlierOutputError() {
  struct stat st;
  pollfd out{STDOUT_FILENO, POLLOUT, 0};
  if (fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode) && poll(&out, 1, 0) == 1 &&
      (out.revents & POLLERR))
    return EPIPE;
  return EIO;
}

// Output that could not be written (a full disk, a closed pipe) is a fatal
// error, with the system's reason, for a command that succeeded or only
// warned; one that failed has said why already.
int FinishOutput(int status) {
  if (status != 0 && status != vrk::kExitWarnings) return status;
  errno = 0;
  const bool flushFailed = std::fflush(stdout) != 0;
  const int err = flushFailed && errno != 0 ? errno : EarlierOutputError();
  if (!flushFailed && !std::ferror(stdout)) return status;
  vrk::PrintProblem(vrk::SystemProblem("standard output", err));
  return vrk::kExitFatal;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace vrk;
  IgnoreWriteSignals();
  if (lzo_init() != LZO_E_OK) {
    PrintProblem("the LZO library failed to initialise");
    return kExitFatal;
  }

  CLI::App app{"vrk packs files into archives, lists, checks and extracts them.", "vrk"};
  app.require_subcommand(1);
  app.footer("Run 'vrk COMMAND --help' for the options of a command.");
  // The tool is built with the library, from the same project version.
  app.set_version_flag("--version",
                       std::string("vrk ") + VRK_PROGRAM_VERSION + " (OrvelPacket library " +
                           VRK_PROGRAM_VERSION + ", archive format " +
                           std::to_string(VRK_FORMAT_VERSION) + ")",
                       "Print the program's and the library's version and exit");
  bool debug = false;
  app.add_flag("--debug", debug, "Name the library's error constant (VRKERR_*) in messages");
  Action action;
  AddCreateCommand(app, action);
  AddAddCommand(app, action);
  AddStampCommand(app, action);
  AddListCommand(app, action);
  AddInfoCommand(app, action);
  AddExtractCommand(app, action);
  AddCatCommand(app, action);
  AddDeleteCommand(app, action);
  AddCompactCommand(app, action);
  AddVerifyCommand(app, action);
  AddSalvageCommand(app, action);
  AddPatchCommand(app, action);
  AddMountCommand(app, action);
  // After the commands, which copied the footer above: the statuses are
  // said once, in the top-level help (and so in the man page).
  app.footer(std::string(kExitStatusHelp) + "\n\nRun 'vrk COMMAND --help' for the options of a command.");

  auto known = [&app](const char* name) {
    auto found = app.get_subcommands([name](CLI::App* cmd) { return cmd->check_name(name); });
    return !found.empty();
  };
  if (argc > 1 && argv[1][0] != '-' && !known(argv[1])) {
    PrintProblem(std::string("unknown command '") + argv[1] + "'");
    std::fprintf(stderr, "Run 'vrk --help' for the list of commands.\n");
    return kExitUsage;
  }
  // --version used to set the stamp: say where that went rather than let
  // the parser call it an unexpected argument.
  for (int i = 2; i < argc && std::string(argv[i]) != "--"; ++i) {
    if (std::string(argv[i]) == "--version") {
      PrintProblem("--version is vrk's own version (vrk --version); a stamp is given with --stamp HIGH:LOW");
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    PrintProblem(e.what());
    std::fprintf(stderr, "Run 'vrk --help' or 'vrk COMMAND --help' for usage.\n");
    return kExitUsage;
  }

  SetDebugReports(debug);
  int status = kExitFatal;
  try {
    status = action ? action() : kExitUsage;
  } catch (const ToolError& e) {
    PrintProblem(e.what());
    if (!e.Hint().empty()) PrintProblem(e.Hint());
    status = e.ExitCode();
  } catch (const std::bad_alloc&) {
    PrintProblem("out of memory");
  } catch (const std::exception& e) {
    PrintProblem(e.what());
  }
  return FinishOutput(status);
}
