// --header "Name: value" for the commands that read archives at a URL.
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <string>
#include <vector>

#include "commands/Commands.h"

namespace vrk {

void AddHeaderOption(CLI::App* cmd) {
  cmd->add_option_function<std::vector<std::string>>(
         "--header",
         [](const std::vector<std::string>& headers) {
           const char* old = std::getenv("ORVEL_HTTP_HEADERS");
           std::string all = old ? old : "";
           for (const std::string& h : headers) {
             // The value is not repeated: it may be a credential.
             if (h.find(':') == std::string::npos || h.find_first_of("\r\n") != std::string::npos)
               throw CLI::ValidationError("--header", "takes one \"Name: value\" header");
             all += (all.empty() ? "" : "\n") + h;
           }
           setenv("ORVEL_HTTP_HEADERS", all.c_str(), 1);
         },
         "HTTP header for an archive at a URL, \"Name: value\" (an Authorization header); "
         "repeatable; ORVEL_HTTP_HEADERS may hold more, one per line")
      ->type_name("HEADER")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace vrk
