// One HTTP(S) GET at a time over libcurl, for the remote files of the file
// layer (RemoteFile.h). libcurl is initialised on the first session, never
// before: a process that reads only disk files never starts it. Every
// session shares one connection cache (and DNS and TLS session caches), so
// the files of one archive and the archives of one process reuse their
// connections.
#ifndef ORVEL_FRAME_HTTP_TRANSFER_H
#define ORVEL_FRAME_HTTP_TRANSFER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orvel {

// What came back: the final response's status and the headers a reader of
// byte ranges needs.
struct HttpReply {
  long status = 0;          // 0: no response (a transport failure)
  int transport = 0;        // libcurl's result, 0 when the transfer ended normally
  bool transient = false;   // a failure worth trying again (cut connection, timeout)
  bool stopped = false;     // the body sink asked to stop
  std::string etag;
  std::string lastModified;
  std::string contentRange;
  int64_t contentLength = -1;
  long retryAfter = -1;     // seconds, from Retry-After
};

// Takes body bytes of the response `reply` (status and headers complete);
// false stops the transfer (HttpReply::stopped).
using BodySink = std::function<bool(const HttpReply& reply, const char* data, size_t size)>;

class HttpSession {
 public:
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // False when libcurl could not be started.
  bool Ready() const { return m_curl != nullptr; }

  // GET `url` with `headers` ("Name: value" lines, separated by '\n') and,
  // when `rangeFirst` <= `rangeLast`, Range: bytes=first-last.
  HttpReply Get(const std::string& url, const std::string& headers, uint64_t rangeFirst,
                uint64_t rangeLast, const BodySink& sink);

 private:
  void* m_curl = nullptr;  // CURL*, kept out of this header
};

// The headers every request carries: ORVEL_HTTP_HEADERS ("Name: value"
// lines separated by newlines), read at each call so that a tool may set it
// from its own options.
std::string ConfiguredHttpHeaders();

}  // namespace orvel

#endif
