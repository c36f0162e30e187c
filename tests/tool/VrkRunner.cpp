#include "VrkFixture.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace vrktest {

VrkProcess::VrkProcess(const std::string& cwd, const std::vector<std::string>& args,
                       const std::string& input, const ChildSetup& setup) {
  const std::string outPath = io_ / "out", errPath = io_ / "err", inPath = io_ / "in";
  WriteFile(inPath, input);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int in = open(inPath.c_str(), O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    dup2(in, 0), dup2(out, 1), dup2(err, 2);
    if (setup) setup();
    std::vector<char*> argv{const_cast<char*>(VRK_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VRK_BINARY, argv.data());
    _exit(127);
  }
}

VrkProcess::~VrkProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
}

void VrkProcess::Signal(int signal) const { kill(pid_, signal); }

RunResult VrkProcess::Wait() {
  int status = 0;
  struct rusage usage {};
  wait4(pid_, &status, 0, &usage);
  pid_ = 0;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(io_ / "out"),
          ReadFile(io_ / "err"), usage.ru_maxrss};
}

RunResult RunVrk(const std::string& cwd, const std::vector<std::string>& args,
                 const std::string& input, const ChildSetup& setup) {
  return VrkProcess(cwd, args, input, setup).Wait();
}

bool WaitUntil(const std::function<bool()>& ready, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::vector<std::string> DirectoryNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFile(const std::string& path, const std::string& content) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  orvel_test::WriteFileBytes(path, content);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

std::string TextBytes(size_t n, unsigned seed) {
  static const char* words[] = {"archive", "block", "table", "hash", "name", "list", "stamp",
                                "level", "patch", "file", "data", "the", "of", "and", "a"};
  std::mt19937 rng(seed);
  std::string s;
  for (; s.size() < n; s += rng() % 11 == 0 ? ".\n" : " ") s += words[rng() % 15];
  s.resize(n);
  return s;
}

std::map<std::string, std::string> MakeSampleTree(const std::string& dir) {
  std::map<std::string, std::string> files = {
      {"readme.txt", TextBytes(3000, 1)},
      {"docs/guide.txt", TextBytes(20000, 2)},
      {"docs/deep/nested/note.txt", TextBytes(100, 3)},
      {"bin/noise.bin", RandomBytes(5000, 4)},
      {"bin/tiny.bin", RandomBytes(7, 5)},
      {"empty.dat", ""},
      {"big/large.txt", TextBytes(300000, 6)},
  };
  for (const auto& [rel, content] : files) WriteFile(dir + "/" + rel, content);
  return files;
}

std::map<std::string, std::string> ReadTree(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file())
      files[fs::relative(e.path(), dir).generic_string()] = ReadFile(e.path().string());
  return files;
}

}  // namespace vrktest
