// Running the vrk binary from tests, and the files around it.
#ifndef VRK_TEST_RUNNER_H
#define VRK_TEST_RUNNER_H

#include <map>
#include <string>
#include <vector>

#include "common/TempDir.h"

namespace vrktest {

struct RunResult {
  int status = -1;  // exit status, or -1 when vrk did not exit normally
  std::string out;
  std::string err;
};

// Runs vrk with `args` in the directory `cwd`.
RunResult RunVrk(const std::string& cwd, const std::vector<std::string>& args);

using orvel_test::TempDir;

void WriteFile(const std::string& path, const std::string& content);  // creates directories
inline std::string ReadFile(const std::string& path) { return orvel_test::ReadFileBytes(path); }
bool Exists(const std::string& path);

// Deterministic bytes: text that compresses well, or random bytes that do not.
std::string TextBytes(size_t n, unsigned seed);
std::string RandomBytes(size_t n, unsigned seed);

// A small tree of mixed files (nested directories, text, random, empty and
// one larger file); returns relative path -> content.
std::map<std::string, std::string> MakeSampleTree(const std::string& dir);

// Every regular file below `dir`, relative path -> content.
std::map<std::string, std::string> ReadTree(const std::string& dir);

}  // namespace vrktest

#endif
