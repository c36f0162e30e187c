// One HTTP(S) GET at a time over libcurl, for the remote files of the file
// layer (RemoteFile.h). libcurl is initialised on the first session, never
// before: a process that reads only disk files never starts it. Requests
// borrow libcurl handles from a process-wide pool, so that the files of one
// archive and the archives of one process reuse their connections, also
// across threads (each handle serves one request at a time).
//
// libcurl's settings: HTTP/2 where a TLS server offers it, else HTTP/1.1;
// the proxy variables as libcurl reads them (http_proxy in small letters
// only, HTTPS_PROXY, ALL_PROXY, NO_PROXY); its default CA bundle (the system's) with peer and host checks on;
// no compressed bodies, whose bytes would not match the ranges asked for.
// Header values are never logged: they may hold credentials.
#ifndef ORVEL_FRAME_HTTP_TRANSFER_H
#define ORVEL_FRAME_HTTP_TRANSFER_H

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "frame/LibraryContainers.h"

namespace orvel {

// What came back: the final response's status and the headers a reader of
// byte ranges needs.
struct HttpReply {
  long status = 0;          // 0: no response (a transport failure)
  int transport = 0;        // libcurl's result, 0 when the transfer ended normally
  bool transient = false;   // a failure worth trying again (cut connection, timeout)
  bool stopped = false;     // the body sink asked to stop
  bool outOfMemory = false; // the reply could not be kept (transport is then nonzero)
  VrkString etag;
  VrkString lastModified;
  VrkString contentRange;
  int64_t contentLength = -1;
  long retryAfter = -1;     // seconds, from Retry-After
};

// Takes body bytes of the response `reply` (status and headers complete);
// false stops the transfer (HttpReply::stopped). A reference to the caller's
// callable, bool(const HttpReply&, const char*, size_t), which must outlive
// the call it is passed to: unlike std::function it never allocates.
class BodySink {
 public:
  template <class F, class = std::enable_if_t<!std::is_same<std::decay_t<F>, BodySink>::value>>
  BodySink(F&& f)  // implicit: a lambda passes as a sink
      : target_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* t, const HttpReply& r, const char* d, size_t n) -> bool {
          return (*static_cast<std::remove_reference_t<F>*>(t))(r, d, n);
        }) {}
  bool operator()(const HttpReply& r, const char* d, size_t n) const {
    return call_(target_, r, d, n);
  }

 private:
  void* target_;
  bool (*call_)(void*, const HttpReply&, const char*, size_t);
};

class HttpSession {
 public:
  HttpSession();
  ~HttpSession() = default;
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // False when libcurl could not be started.
  bool Ready() const { return m_ready; }

  // GET `url` with `headers` ("Name: value" lines, separated by '\n') and,
  // when `rangeFirst` <= `rangeLast`, Range: bytes=first-last.
  // Never throws: a reply that could not be kept is outOfMemory.
  HttpReply Get(const char* url, const char* headers, uint64_t rangeFirst, uint64_t rangeLast,
                BodySink sink);

 private:
  bool m_ready = false;  // libcurl started
};

// The headers every request carries: ORVEL_HTTP_HEADERS ("Name: value"
// lines separated by newlines), read at each call so that a tool may set it
// from its own options.
// Throws std::bad_alloc.
VrkString ConfiguredHttpHeaders();

}  // namespace orvel

#endif
