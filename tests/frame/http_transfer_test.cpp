// libcurl as the remote files use it: the usual proxy variables are
// honoured (libcurl reads them; nothing of ours may switch that off).
#include <errno.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/FaultServer.h"
#include "frame/DiskFile.h"
#include "orvel/VrkErrors.h"

using namespace orvel;

namespace {

// Sets (or, with null, removes) an environment variable for a scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) had_ = true, old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

TEST(HttpTransfer, RequestsGoThroughTheProxyOfHttpProxy) {
  orvel_test::FaultServer proxy;
  if (!proxy.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  const std::string proxyUrl = proxy.Url("");
  ScopedEnv http("http_proxy", proxyUrl.c_str());
  ScopedEnv noProxy("no_proxy", nullptr), noProxyUpper("NO_PROXY", nullptr);
  // A host that cannot resolve: only the proxy can be asked for it.
  const char* url = "http://orvel-proxied.invalid/f.bin";
  EXPECT_EQ(OpenDiskFile(url, kModeReadShared), kInvalidFile);
  EXPECT_EQ(VrkLastSystemError(), ENOENT);  // the proxy's answer
  const auto log = proxy.Log();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].path, url);
}

}  // namespace
