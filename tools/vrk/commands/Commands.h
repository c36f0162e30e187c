// The vrk commands. Each Add*Command registers one subcommand with its options
// and help; when the command line selects it, its callback stores in `action`
// the function that runs it and returns the exit status.
#ifndef VRK_COMMANDS_H
#define VRK_COMMANDS_H

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace vrk {

using Action = std::function<int()>;

void AddCreateCommand(CLI::App& app, Action& action);
void AddAddCommand(CLI::App& app, Action& action);
void AddStampCommand(CLI::App& app, Action& action);
void AddListCommand(CLI::App& app, Action& action);
void AddInfoCommand(CLI::App& app, Action& action);
void AddExtractCommand(CLI::App& app, Action& action);
void AddCatCommand(CLI::App& app, Action& action);
void AddDeleteCommand(CLI::App& app, Action& action);
void AddCompactCommand(CLI::App& app, Action& action);
void AddVerifyCommand(CLI::App& app, Action& action);
void AddSalvageCommand(CLI::App& app, Action& action);
void AddPatchCommand(CLI::App& app, Action& action);
// `patch info`, a subcommand of `patch`.
void AddPatchInfoCommand(CLI::App& patch, Action& action);
// Adds --header "Name: value" (repeatable) to a command that reads archives
// at a URL: each header goes into ORVEL_HTTP_HEADERS, which the library
// reads when it opens one. Values are never echoed, also not in errors.
void AddHeaderOption(CLI::App* cmd);
// `mount` and `umount`.
void AddMountCommand(CLI::App& app, Action& action);

}  // namespace vrk

#endif
