// A small HTTP/1.1 server on a loopback port that serves files from memory
// with byte ranges, ETags and If-Match, and misbehaves on request: it cuts a
// body short, answers with an error status, ignores ranges, or announces a
// longer body than it sends. Every request is logged, so that tests can
// count what a reader asked for.
#ifndef ORVEL_TESTS_COMMON_FAULT_SERVER_H
#define ORVEL_TESTS_COMMON_FAULT_SERVER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvel_test {

enum class Fault {
  kCutBody,      // headers of the full answer, half its body, then the connection closes
  kShortBody,    // Content-Length of the full answer, a body 1 byte short, then close
  kStatus500,    // 500 with a small error page
  kStatus429,    // 429 with Retry-After: 1
  kStatus404,
  kStatus416,
  kIgnoreRange,  // 200 with the whole body although a range was asked for
};

struct LoggedRequest {
  std::string path;           // as requested, with its query
  std::string range;          // the Range header, "" when none
  std::string authorization;  // the Authorization header, "" when none
};

class FaultServer {
 public:
  FaultServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }
  ~FaultServer() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    if (acceptor_.joinable()) acceptor_.join();
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int fd : open_) shutdown(fd, SHUT_RDWR);
      workers.swap(workers_);
    }
    for (std::thread& t : workers) t.join();
  }
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  bool Running() const { return port_ != 0; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + path;
  }

  // Serves `bytes` at "/path" under a new ETag (a replaced file).
  void Put(const std::string& path, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    files_["/" + path] = File{bytes, "\"v" + std::to_string(++version_) + "\""};
  }
  // Serves `bytes` at "/path" under a new ETag from the request after the
  // next `requests` requests for it on (a file replaced between requests).
  void ReplaceAfter(const std::string& path, const std::string& bytes, int requests) {
    std::lock_guard<std::mutex> lock(mutex_);
    replacements_["/" + path] = Replacement{bytes, requests};
  }
  // The next requests for a path ending in `suffix` meet `fault`, `times` times.
  void Inject(const std::string& suffix, Fault fault, int times = 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int i = 0; i < times; ++i) faults_.push_back({suffix, fault});
  }
  // Every request from now on gets the whole body, whatever range it asks.
  void IgnoreRanges(bool on) { ignoreRanges_ = on; }
  std::vector<LoggedRequest> Log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }
  // Connections accepted so far.
  int Connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
  }
  void ClearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
  }

 private:
  struct File {
    std::string bytes;
    std::string etag;
  };
  struct Replacement {
    std::string bytes;
    int requests;
  };
  struct Pending {
    std::string suffix;
    Fault fault;
  };

  void AcceptLoop() {
    while (!stopping_) {
      const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) {
        if (stopping_) return;
        continue;
      }
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
      open_.push_back(fd);
      workers_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  static bool SendAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
      const ssize_t n = send(fd, s.data() + done, s.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  static std::string Header(const std::string& request, const char* name) {
    const std::string key = std::string("\r\n") + name + ":";
    size_t at = 0;
    for (;;) {
      at = request.find("\r\n", at);
      if (at == std::string::npos) return "";
      if (strncasecmp(request.c_str() + at, key.c_str(), key.size()) == 0) break;
      at += 2;
    }
    size_t v = at + key.size();
    while (v < request.size() && request[v] == ' ') ++v;
    return request.substr(v, request.find("\r\n", v) - v);
  }

  // Answers one request; false when the connection is to close.
  bool Answer(int fd, const std::string& request) {
    const size_t sp = request.find(' ');
    const std::string target = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
    const std::string path = target.substr(0, target.find('?'));  // files are found without the query
    const std::string range = Header(request, "Range");
    const std::string ifMatch = Header(request, "If-Match");
    File file;
    bool found = false, faulted = false;
    Fault fault = Fault::kStatus500;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      log_.push_back({target, range, Header(request, "Authorization")});
      auto due = replacements_.find(path);
      if (due != replacements_.end() && due->second.requests-- == 0) {
        files_[path] = File{due->second.bytes, "\"v" + std::to_string(++version_) + "\""};
        replacements_.erase(due);
      }
      auto it = files_.find(path);
      if (it != files_.end()) file = it->second, found = true;
      for (auto p = faults_.begin(); p != faults_.end(); ++p) {
        if (path.size() >= p->suffix.size() &&
            path.compare(path.size() - p->suffix.size(), p->suffix.size(), p->suffix) == 0) {
          fault = p->fault, faulted = true;
          faults_.erase(p);
          break;
        }
      }
    }
    auto plain = [&](const char* status, const std::string& extra) {
      const std::string body = std::string(status) + "\n";
      return SendAll(fd, std::string("HTTP/1.1 ") + status + "\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body);
    };
    if (faulted && fault == Fault::kStatus500) return plain("500 Internal Server Error", "");
    if (faulted && fault == Fault::kStatus429) return plain("429 Too Many Requests", "Retry-After: 1\r\n");
    if (faulted && fault == Fault::kStatus404) return plain("404 Not Found", "");
    if (!found) return plain("404 Not Found", "");
    const uint64_t size = file.bytes.size();
    if (faulted && fault == Fault::kStatus416)
      return plain("416 Range Not Satisfiable", "Content-Range: bytes */" + std::to_string(size) + "\r\n");
    if (!ifMatch.empty() && ifMatch != file.etag) return plain("412 Precondition Failed", "");
    uint64_t first = 0, last = size ? size - 1 : 0;
    bool partial = false;
    unsigned long long a = 0, b = 0;
    if (!range.empty() && !ignoreRanges_ && !(faulted && fault == Fault::kIgnoreRange) &&
        std::sscanf(range.c_str(), "bytes=%llu-%llu", &a, &b) == 2) {
      if (a >= size) return plain("416 Range Not Satisfiable", "Content-Range: bytes */" + std::to_string(size) + "\r\n");
      first = a, last = b < size ? b : size - 1, partial = true;
    }
    const std::string body = size ? file.bytes.substr(first, last - first + 1) : "";
    std::string head = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
    head += "ETag: " + file.etag + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    if (partial)
      head += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
              std::to_string(size) + "\r\n";
    head += "\r\n";
    if (faulted && fault == Fault::kCutBody) {
      SendAll(fd, head + body.substr(0, body.size() / 2));
      return false;
    }
    if (faulted && fault == Fault::kShortBody) {
      SendAll(fd, head + body.substr(0, body.empty() ? 0 : body.size() - 1));
      return false;
    }
    return SendAll(fd, head + body);
  }

  void Serve(int fd) {
    std::string pending;
    char buffer[8192];
    for (;;) {
      const size_t end = pending.find("\r\n\r\n");
      if (end != std::string::npos) {
        const std::string request = pending.substr(0, end + 2);
        pending.erase(0, end + 4);
        if (!Answer(fd, request)) break;
        continue;
      }
      const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = open_.begin(); it != open_.end(); ++it)
      if (*it == fd) {
        open_.erase(it);
        break;
      }
    close(fd);
  }

  int listener_ = -1;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> ignoreRanges_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
  std::vector<int> open_;
  std::map<std::string, File> files_;
  std::map<std::string, Replacement> replacements_;
  std::deque<Pending> faults_;
  std::vector<LoggedRequest> log_;
  int version_ = 0;
  int connections_ = 0;
};

}  // namespace orvel_test

#endif
