#include "frame/HttpTransfer.h"

#include <curl/curl.h>

#include "orvel/VrkRemote.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <atomic>
#include <mutex>
#include <new>

namespace orvel {
namespace {

// The process-wide share: DNS answers and TLS sessions, each under its own
// lock so that sessions in several threads can use it. Connections are not
// shared this way: libcurl does not support one connection cache used by
// concurrent threads. They stay with the easy handles of the pool below.
struct Shared {
  CURLSH* share = nullptr;
  std::mutex locks[CURL_LOCK_DATA_LAST];
};

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<Shared*>(user)->locks[data].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void* user) {
  static_cast<Shared*>(user)->locks[data].unlock();
}

// Started on first use and kept for the life of the process: tearing libcurl
// down at exit would race with hosts that still run threads.
Shared* TheShare() {
  static Shared* shared = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return static_cast<Shared*>(nullptr);
    auto* s = new Shared;
    s->share = curl_share_init();
    if (s->share) {
      curl_share_setopt(s->share, CURLSHOPT_LOCKFUNC, LockShare);
      curl_share_setopt(s->share, CURLSHOPT_UNLOCKFUNC, UnlockShare);
      curl_share_setopt(s->share, CURLSHOPT_USERDATA, s);
      curl_share_setopt(s->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(s->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    }
    return s;
  }();
  return shared;
}

size_t OnHeader(char* line, size_t, size_t size, void* user);
size_t OnBody(char* data, size_t, size_t size, void* user);

// An easy handle with the options every request has.
CURL* NewHandle() {
  Shared* shared = TheShare();
  if (!shared) return nullptr;
  CURL* curl = curl_easy_init();
  if (!curl) return nullptr;
  if (shared->share) curl_easy_setopt(curl, CURLOPT_SHARE, shared->share);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
  // A stalled transfer (under 1 byte/s for 30 s) ends; a slow one goes on.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
  curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "OrvelPacket");
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  return curl;
}

// Idle easy handles, each keeping the connections it opened. A request
// borrows one and gives it back, so that the next request to the same
// server, from any session or thread, finds a connection open, while each
// handle serves one thread at a time as libcurl requires. Kept for the life
// of the process, like the share.
class HandlePool {
 public:
  CURL* Take() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (count_ > 0) return idle_[--count_];
    }
    return NewHandle();
  }
  void Give(CURL* curl) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (count_ < kIdle) {
        idle_[count_++] = curl;
        return;
      }
    }
    curl_easy_cleanup(curl);
  }

 private:
  static constexpr size_t kIdle = 8;
  std::mutex mutex_;
  CURL* idle_[kIdle] = {};
  size_t count_ = 0;
};

HandlePool& ThePool() {
  static HandlePool* pool = new HandlePool;
  return *pool;
}

bool StartsWithNoCase(const char* line, size_t size, const char* prefix) {
  const size_t n = std::strlen(prefix);
  return size >= n && strncasecmp(line, prefix, n) == 0;
}

// The value of a header line after its name, without surrounding blanks.
VrkString ValueAfter(const char* line, size_t size, size_t nameLength) {
  size_t a = nameLength;
  size_t b = size;
  while (a < b && (line[a] == ' ' || line[a] == '\t')) ++a;
  while (b > a && (line[b - 1] == '\r' || line[b - 1] == '\n' || line[b - 1] == ' ')) --b;
  return VrkString(line + a, b - a);
}

struct Transfer {
  HttpReply reply;
  const BodySink* sink;
};

// Notes one header line in the reply; throws std::bad_alloc.
void NoteHeader(const char* line, size_t size, HttpReply& r) {
  if (StartsWithNoCase(line, size, "HTTP/")) {
    // A new response (after a redirect or an interim one): forget the last.
    const VrkString status = ValueAfter(line, size, 0);
    const size_t blank = status.find(' ');
    r = HttpReply();
    r.status = blank == VrkString::npos ? 0 : std::strtol(status.c_str() + blank + 1, nullptr, 10);
  } else if (StartsWithNoCase(line, size, "etag:")) {
    r.etag = ValueAfter(line, size, 5);
  } else if (StartsWithNoCase(line, size, "last-modified:")) {
    r.lastModified = ValueAfter(line, size, 14);
  } else if (StartsWithNoCase(line, size, "content-range:")) {
    r.contentRange = ValueAfter(line, size, 14);
  } else if (StartsWithNoCase(line, size, "content-length:")) {
    const VrkString v = ValueAfter(line, size, 15);
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, 10);
    r.contentLength = end && *end == '\0' && n >= 0 ? n : -1;
  } else if (StartsWithNoCase(line, size, "retry-after:")) {
    const VrkString v = ValueAfter(line, size, 12);
    char* end = nullptr;
    const long seconds = std::strtol(v.c_str(), &end, 10);
    if (end && *end == '\0' && seconds >= 0) {
      r.retryAfter = seconds;
    } else {
      const time_t when = curl_getdate(v.c_str(), nullptr);
      if (when >= 0) r.retryAfter = std::max<long>(0, static_cast<long>(when - time(nullptr)));
    }
  }
}

// libcurl's callbacks: no exception may pass through libcurl's frames, so
// one that could not keep the reply ends the transfer as out of memory.
size_t OnHeader(char* line, size_t, size_t size, void* user) {
  HttpReply& r = static_cast<Transfer*>(user)->reply;
  try {
    NoteHeader(line, size, r);
    return size;
  } catch (...) {
    r.outOfMemory = true;
    return 0;
  }
}

// Body bytes received by every session, for VrkRemoteBytesFetched.
std::atomic<uint64_t> g_bytesFetched{0};

size_t OnBody(char* data, size_t, size_t size, void* user) {
  g_bytesFetched.fetch_add(size, std::memory_order_relaxed);
  auto* t = static_cast<Transfer*>(user);
  bool more = false;
  try {
    more = (*t->sink)(t->reply, data, size);
  } catch (...) {
    t->reply.outOfMemory = true;
    return CURL_WRITEFUNC_ERROR;
  }
  if (!more) {
    t->reply.stopped = true;
    return CURL_WRITEFUNC_ERROR;
  }
  return size;
}

// Transport failures that another attempt may get past.
bool IsTransient(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT: case CURLE_OPERATION_TIMEDOUT: case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR: case CURLE_PARTIAL_FILE: case CURLE_GOT_NOTHING:
    case CURLE_HTTP2: case CURLE_HTTP2_STREAM: case CURLE_SSL_CONNECT_ERROR:
      return true;
    default:
      return false;
  }
}

// The request headers: "Name: value" lines of `headers` (separated by
// '\n', trailing blanks dropped, lines without a colon skipped) into `list`;
// false when memory ran out (`list` then empty).
bool HeaderList(const char* headers, curl_slist** list) {
  *list = nullptr;
  try {
    VrkString line;
    for (const char* at = headers; *at;) {
      const size_t length = std::strcspn(at, "\n");
      size_t keep = length;
      while (keep > 0 && (at[keep - 1] == '\r' || at[keep - 1] == ' ')) --keep;
      if (std::memchr(at, ':', keep)) {
        line.assign(at, keep);
        curl_slist* more = curl_slist_append(*list, line.c_str());
        if (!more) throw std::bad_alloc();
        *list = more;
      }
      at += length + (at[length] == '\n');
    }
    return true;
  } catch (...) {
    curl_slist_free_all(*list);
    *list = nullptr;
    return false;
  }
}

}  // namespace

VrkString ConfiguredHttpHeaders() {
  const char* v = std::getenv("ORVEL_HTTP_HEADERS");
  return v ? v : "";
}

HttpSession::HttpSession() : m_ready(TheShare() != nullptr) {}

HttpReply HttpSession::Get(const char* url, const char* headers, uint64_t rangeFirst,
                           uint64_t rangeLast, BodySink sink) {
  Transfer t{HttpReply(), &sink};
  curl_slist* list = nullptr;
  if (!HeaderList(headers, &list)) {
    t.reply.outOfMemory = true;
    t.reply.transport = CURLE_OUT_OF_MEMORY;
    return t.reply;
  }
  CURL* curl = m_ready ? ThePool().Take() : nullptr;
  if (!curl) {
    curl_slist_free_all(list);
    t.reply.transport = CURLE_FAILED_INIT;
    return t.reply;
  }
  char range[48] = "";
  if (rangeFirst <= rangeLast)
    std::snprintf(range, sizeof range, "%llu-%llu", static_cast<unsigned long long>(rangeFirst),
                  static_cast<unsigned long long>(rangeLast));
  curl_easy_setopt(curl, CURLOPT_URL, url);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_RANGE, range[0] ? range : nullptr);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  const CURLcode rc = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(list);
  long status = 0;
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status)
    t.reply.status = status;
  t.reply.transport = t.reply.outOfMemory ? CURLE_OUT_OF_MEMORY : t.reply.stopped ? CURLE_OK : rc;
  t.reply.transient = !t.reply.stopped && !t.reply.outOfMemory && IsTransient(rc);
  ThePool().Give(curl);
  return t.reply;
}

}  // namespace orvel

VRK_API uint64_t VrkRemoteBytesFetched() {
  return orvel::g_bytesFetched.load(std::memory_order_relaxed);
}
