#include "tree/NameListFile.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <fstream>
#include <iostream>

#include "console/ErrorReport.h"

namespace vrk {

void AddFilesFromOption(CLI::App* cmd, std::string& file, const std::string& what) {
  cmd->add_option("-T,--files-from", file,
                  "Read " + what + ", one per line, from FILE ('-': standard input)")
      ->type_name("FILE");
}

void AppendNameList(std::vector<std::string>& names, const std::string& file) {
  if (file.empty()) return;
  std::ifstream opened;
  if (file != "-") {
    opened.open(file);
    if (!opened) throw ToolError(SystemProblem(file, errno));
  }
  std::istream& in = file == "-" ? std::cin : opened;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) names.push_back(line);
  }
  if (in.bad()) throw ToolError(SystemProblem(file == "-" ? "standard input" : file, errno));
}

}  // namespace vrk
