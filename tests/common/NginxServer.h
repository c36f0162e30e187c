// nginx serving a directory on a loopback port, started for a test with a
// configuration of its own in a temporary directory (pid file, logs and
// temporary paths there too, so no root is needed) and stopped with it.
// Running() is false, and Problem() says why, where nginx is missing or
// does not come up: the tests that need it skip.
#ifndef ORVEL_TESTS_COMMON_NGINX_SERVER_H
#define ORVEL_TESTS_COMMON_NGINX_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/TempDir.h"

namespace orvel_test {

class NginxServer {
 public:
  // Serves `root` (made readable to nginx's workers).
  explicit NginxServer(const std::string& root) {
    const std::string binary = Find();
    if (binary.empty()) {
      problem_ = "nginx is not installed (scripts/bootstrap installs it)";
      return;
    }
    chmod(root.c_str(), 0755);
    chmod(work_.path().c_str(), 0755);
    for (int attempt = 0; attempt < 3 && !Running(); ++attempt) Start(binary, root);
    if (!Running()) problem_ = "nginx did not start: " + ReadFileBytes(work_ / "error.log");
  }
  ~NginxServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  bool Running() const { return port_ != 0; }
  const std::string& Problem() const { return problem_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }
  // The access log: one line per request, with the bytes sent.
  std::string AccessLog() const { return ReadFileBytes(work_ / "access.log"); }
  // The body bytes sent so far ($body_bytes_sent of every access log line,
  // the field after the status in nginx's default format).
  uint64_t BodyBytesSent() const {
    std::istringstream log(AccessLog());
    uint64_t total = 0;
    for (std::string line; std::getline(log, line);) {
      // ... "GET /x HTTP/1.1" 206 4096 "-" "agent"
      const size_t request = line.find('"');
      const size_t end = request == std::string::npos ? request : line.find('"', request + 1);
      if (end == std::string::npos) continue;
      std::istringstream fields(line.substr(end + 1));
      unsigned status = 0;
      uint64_t bytes = 0;
      if (fields >> status >> bytes) total += bytes;
    }
    return total;
  }

 private:
  static std::string Find() {
    for (const char* p : {"/usr/sbin/nginx", "/usr/local/sbin/nginx", "/usr/bin/nginx"})
      if (access(p, X_OK) == 0) return p;
    return "";
  }

  // A port that was free a moment ago.
  static unsigned short FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    unsigned short port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port = ntohs(a.sin_port);
    if (s >= 0) close(s);
    return port;
  }

  static bool Accepts(unsigned short port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0) close(s);
    return ok;
  }

  void Start(const std::string& binary, const std::string& root) {
    const unsigned short port = FreePort();
    if (!port) return;
    const std::string w = work_.path();
    std::ofstream conf(work_ / "nginx.conf", std::ios::trunc);
    conf << "daemon off;\nmaster_process on;\nworker_processes 1;\n"
         << "pid " << w << "/nginx.pid;\nerror_log " << w << "/error.log;\n"
         << "events { worker_connections 256; }\n"
         << "http {\n  access_log " << w << "/access.log;\n"
         << "  client_body_temp_path " << w << "/body;\n  proxy_temp_path " << w << "/proxy;\n"
         << "  fastcgi_temp_path " << w << "/fastcgi;\n  uwsgi_temp_path " << w << "/uwsgi;\n"
         << "  scgi_temp_path " << w << "/scgi;\n  keepalive_requests 100000;\n"
         << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root << ";\n  }\n}\n";
    conf.close();
    const pid_t pid = fork();
    if (pid == 0) {
      // As root, workers drop to a user that may not reach the directory:
      // the configuration keeps them as the user the test runs as.
      const std::string confPath = w + "/nginx.conf", logPath = w + "/error.log";
      if (geteuid() == 0)
        execl(binary.c_str(), binary.c_str(), "-p", w.c_str(), "-c", confPath.c_str(), "-e",
              logPath.c_str(), "-g", "user root;", static_cast<char*>(nullptr));
      else
        execl(binary.c_str(), binary.c_str(), "-p", w.c_str(), "-c", confPath.c_str(), "-e",
              logPath.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid < 0) return;
    for (int i = 0; i < 100; ++i) {
      if (Accepts(port)) {
        pid_ = pid, port_ = port;
        return;
      }
      if (waitpid(pid, nullptr, WNOHANG) == pid) return;  // it gave up (port taken)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }

  TempDir work_;
  std::string problem_;
  pid_t pid_ = -1;
  unsigned short port_ = 0;
};

}  // namespace orvel_test

#endif
