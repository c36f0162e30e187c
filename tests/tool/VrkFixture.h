// Fixture for the vrk tests: running the binary, sample files, a temporary
// working directory, and the archive variant under test (advanced "pack.vrk"
// or basic "pack.pak").
#ifndef VRK_TEST_FIXTURE_H
#define VRK_TEST_FIXTURE_H

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/TempDir.h"
#include "common/TestData.h"

namespace vrktest {

using orvel_test::RandomBytes;
using orvel_test::TempDir;

// vrk's exit statuses: done, done with files skipped, not found or
// differing, and a fatal error or a wrong command line.
constexpr int kDone = 0;
constexpr int kWarnings = 1;
constexpr int kFatal = 2;

struct RunResult {
  int status = -1;  // exit status, or -1 when vrk did not exit normally
  std::string out;
  std::string err;
  long peakKiB = 0;  // the most memory vrk held at once (resident, KiB)
};

// What a test does in vrk's process just before it starts: set a limit,
// drop a capability, replace standard output.
using ChildSetup = std::function<void()>;

// vrk running in the background, for tests that stop it part way. It is
// killed if still running when the object goes.
class VrkProcess {
 public:
  // `input` is what vrk reads on standard input.
  VrkProcess(const std::string& cwd, const std::vector<std::string>& args,
             const std::string& input = "", const ChildSetup& setup = {});
  ~VrkProcess();
  VrkProcess(const VrkProcess&) = delete;
  VrkProcess& operator=(const VrkProcess&) = delete;
  void Signal(int signal) const;
  int Pid() const { return pid_; }
  RunResult Wait();

 private:
  TempDir io_;
  int pid_;
};

// Runs vrk with `args` in the directory `cwd`, `input` on standard input.
RunResult RunVrk(const std::string& cwd, const std::vector<std::string>& args,
                 const std::string& input = "", const ChildSetup& setup = {});

// Waits up to `seconds` for `ready`; true when it came.
bool WaitUntil(const std::function<bool()>& ready, double seconds = 30);

// The names in `dir` (not below it).
std::vector<std::string> DirectoryNames(const std::string& dir);

void WriteFile(const std::string& path, const std::string& content);  // creates directories
inline std::string ReadFile(const std::string& path) { return orvel_test::ReadFileBytes(path); }
bool Exists(const std::string& path);

// Deterministic text that compresses well.
std::string TextBytes(size_t n, unsigned seed);

// A small tree of mixed files (nested directories, text, random, empty and
// one larger file); returns relative path -> content.
std::map<std::string, std::string> MakeSampleTree(const std::string& dir);

// Every regular file below `dir`, relative path -> content.
std::map<std::string, std::string> ReadTree(const std::string& dir);

struct Variant {
  const char* label;
  const char* archive;
  bool advanced;
};

inline const Variant kAdvanced{"advanced", "pack.vrk", true};
inline const Variant kBasic{"basic", "pack.pak", false};

class VrkTest : public ::testing::TestWithParam<Variant> {
 protected:
  std::string Archive() const { return GetParam().archive; }
  bool Advanced() const { return GetParam().advanced; }

  RunResult Vrk(const std::vector<std::string>& args, const std::string& input = "") const {
    return RunVrk(dir_.path(), args, input);
  }

  // vrk create ARCHIVE [--basic] EXTRA...; ARCHIVE defaults to the one under test.
  RunResult Create(const std::vector<std::string>& extra, const std::string& archive = "") const {
    std::vector<std::string> args{"create", archive.empty() ? Archive() : archive};
    if (!Advanced()) args.push_back("--basic");
    args.insert(args.end(), extra.begin(), extra.end());
    return Vrk(args);
  }

  // The archive's files on disk, relative to the working directory.
  std::vector<std::string> DiskFiles(const std::string& archive) const {
    if (!Advanced()) return {archive};
    std::string stem = archive.substr(0, archive.size() - 4);
    return {archive, stem + ".bhl", stem + ".lst"};
  }

  nlohmann::json Json(const std::vector<std::string>& args) const {
    RunResult r = Vrk(args);
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out, nullptr, false);
  }

  // STEM with the extension of the variant under test.
  std::string Named(const std::string& stem) const { return stem + (Advanced() ? ".vrk" : ".pak"); }
  std::string Path(const std::string& rel) const { return dir_ / rel; }

 private:
  TempDir dir_;
};

inline std::string VariantName(const ::testing::TestParamInfo<Variant>& info) {
  return info.param.label;
}

#define VRK_BOTH_VARIANTS(suite) \
  INSTANTIATE_TEST_SUITE_P(Variants, suite, ::testing::Values(kAdvanced, kBasic), VariantName)

}  // namespace vrktest

#endif
