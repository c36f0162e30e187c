// The bash completion offers exactly what vrk takes: every command and its
// aliases, and for each of them the options its --help lists, nothing else.
// The words come from the built tool's help, so that an option added to a
// command fails here until the completion offers it.
#include <cstdio>
#include <set>
#include <sstream>

#include "VrkFixture.h"

namespace vrktest {
namespace {

using Words = std::set<std::string>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The lines of the help section headed `title` (up to the blank line).
std::vector<std::string> Section(const std::string& help, const std::string& title) {
  std::vector<std::string> section;
  bool in = false;
  for (const std::string& line : Lines(help)) {
    if (line == title) {
      in = true;
    } else if (in && line.empty()) {
      break;
    } else if (in) {
      section.push_back(line);
    }
  }
  return section;
}

// The first column of a section's lines ("  list, ls, t" or "  -C,--directory
// TEXT"), split at commas.
Words FirstColumn(const std::vector<std::string>& lines, const std::string& separator) {
  Words words;
  for (const std::string& line : lines) {
    if (line.compare(0, 2, "  ") != 0 || line.size() < 3 || line[2] == ' ') continue;
    std::string column = line.substr(2, line.find(separator == "," ? " " : "  ", 2) - 2);
    for (size_t at = 0; at <= column.size();) {
      size_t end = column.find(',', at);
      if (end == std::string::npos) end = column.size();
      std::string word = column.substr(at, end - at);
      while (!word.empty() && word.front() == ' ') word.erase(0, 1);
      if (!word.empty()) words.insert(word);
      at = end + 1;
    }
  }
  return words;
}

class Completion {
 public:
  Completion() {
    // Stand-ins for bash-completion's helpers: the words as typed, no files.
    WriteFile(dir_ / "complete.sh",
              "_init_completion() { words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD;\n"
              "  cur=${words[cword]}; prev=${words[cword-1]}; }\n"
              "_filedir() { :; }\n"
              "source \"$1\"; shift\n"
              "COMP_WORDS=(vrk \"$@\"); COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\n"
              "COMPREPLY=(); _vrk; printf '%s\\n' \"${COMPREPLY[@]}\"\n");
  }
  // What completing the last of `typed` offers.
  Words Offered(const std::vector<std::string>& typed) const {
    std::string command = "bash " + (dir_ / "complete.sh") + " " VRK_COMPLETION;
    for (const std::string& word : typed) command += " '" + word + "'";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buf[4096];
      for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      pclose(p);
    }
    Words words;
    for (const std::string& line : Lines(out))
      if (!line.empty()) words.insert(line);
    return words;
  }

 private:
  TempDir dir_;
};

Words Options(const std::string& help) { return FirstColumn(Section(help, "Options:"), ","); }
Words Commands(const std::string& help) { return FirstColumn(Section(help, "Subcommands:"), ", "); }

TEST(Completion, OffersEveryCommandAliasAndOptionAndNothingElse) {
  TempDir dir;
  Completion completion;
  const std::string top = RunVrk(dir.path(), {"--help"}).out;
  const Words commands = Commands(top);
  ASSERT_GT(commands.size(), 20u) << top;  // the commands and their aliases
  Words first = commands;
  for (const std::string& option : Options(top)) first.insert(option);
  EXPECT_EQ(completion.Offered({""}), first);

  for (const std::string& line : Section(top, "Subcommands:")) {
    const Words names = FirstColumn({line}, ", ");
    const std::string help = RunVrk(dir.path(), {*names.begin(), "--help"}).out;
    for (const std::string& name : names) {
      EXPECT_EQ(completion.Offered({name, "-"}), Options(help)) << "vrk " << name;
      const Words subcommands = Commands(help);
      if (subcommands.empty()) continue;
      Words next = subcommands;
      for (const std::string& option : Options(help)) next.insert(option);
      EXPECT_EQ(completion.Offered({name, ""}), next) << "vrk " << name;
      for (const std::string& sub : subcommands)
        EXPECT_EQ(completion.Offered({name, sub, "-"}),
                  Options(RunVrk(dir.path(), {name, sub, "--help"}).out))
            << "vrk " << name << " " << sub;
    }
  }
}

}  // namespace
}  // namespace vrktest
