#include "frame/RemoteFile.h"

#include <errno.h>
#include <strings.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "frame/Allocation.h"
#include "frame/ErrorCode.h"
#include "frame/HttpTransfer.h"
#include "frame/LibraryContainers.h"

namespace orvel {
namespace {

constexpr uint64_t kMaxSize = 0xFFFFFFFEull;  // positions are 32-bit, 0xFFFFFFFF fails
constexpr uint32_t kHeadBytes = 4096;         // what an open asks for: signature and header
constexpr int kAttempts = 5;
constexpr long kFirstPauseMs = 100;
constexpr long kLongestPauseMs = 2000;
constexpr long kLongestRetryAfter = 60;  // seconds
// Read-ahead for reads that follow each other: the window starts here and
// doubles with each such read up to the longest.
constexpr uint64_t kFirstWindow = 64 * 1024;
constexpr uint64_t kLongestWindow = 1024 * 1024;

enum class Step { kDone, kAgain, kFail };

// "bytes FIRST-LAST/TOTAL" (TOTAL may be "*", then false).
bool ParseContentRange(const VrkString& v, uint64_t* first, uint64_t* last, uint64_t* total) {
  unsigned long long a = 0, b = 0, t = 0;
  char tail = 0;
  if (std::sscanf(v.c_str(), "bytes %llu-%llu/%llu%c", &a, &b, &t, &tail) != 3) return false;
  *first = a, *last = b, *total = t;
  return a <= b && b < t;
}

// The total of "bytes */TOTAL", the answer to a range past the end.
bool ParseUnsatisfiedRange(const VrkString& v, uint64_t* total) {
  unsigned long long t = 0;
  char tail = 0;
  if (std::sscanf(v.c_str(), "bytes */%llu%c", &t, &tail) != 1) return false;
  *total = t;
  return true;
}

void PauseMs(long ms) {
  struct timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Its state, bodies and read-ahead follow the allocation rule (libcurl's
// own memory stays libcurl's). Its constructor throws std::bad_alloc; its
// reads fail with ENOMEM instead, and a read-ahead window that cannot be
// had is done without.
class RemoteFile : public VrkHeapObject {
 public:
  explicit RemoteFile(const char* url) : url_(url), headers_(ConfiguredHttpHeaders()) {}

  bool Open(bool whole, bool exact) {
    if (!session_.Ready()) return NoteSystemError(EIO), false;
    if (exact) exact_ = true, headBytes_ = 1;
    return Retry([&] { return whole ? FetchWhole() : FetchHead(); });
  }

  // Up to `count` bytes at `offset`: fewer at the end of the file, 0 on
  // failure (the reason noted).
  unsigned ReadAt(void* out, unsigned count, uint64_t offset) {
    if (offset >= size_ || count == 0) return 0;
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(count, size_ - offset));
    // A read where the last one ended (an extraction in archive order)
    // widens the read-ahead; any other drops it, so that random reads stay
    // one request of their own size each.
    const bool follows = !exact_ && offset == lastEnd_;
    window_ = follows ? std::min(std::max(window_ * 2, kFirstWindow), kLongestWindow) : 0;
    lastEnd_ = offset + n;
    if (offset + n <= cache_.size()) {
      std::memcpy(out, cache_.data() + offset, n);
      return n;
    }
    if (offset >= aheadAt_ && offset + n <= aheadAt_ + ahead_.size()) {
      std::memcpy(out, ahead_.data() + (offset - aheadAt_), n);
      return n;
    }
    const uint64_t extra = std::min<uint64_t>(window_, size_ - offset - n);
    if (extra == 0 || !ReserveAhead(n + extra))
      return Fetch(static_cast<char*>(out), offset, n) ? n : 0;
    aheadAt_ = offset;
    if (!Fetch(reinterpret_cast<char*>(ahead_.data()), offset, static_cast<uint32_t>(n + extra))) {
      ahead_.clear();
      return 0;
    }
    std::memcpy(out, ahead_.data(), n);
    return n;
  }

  uint64_t Size() const { return size_; }
  uint64_t position = 0;

 private:
  // Room for a read-ahead window of `bytes`; false (no window, no harm)
  // when the allocator cannot give it: the read then fetches its own bytes.
  bool ReserveAhead(uint64_t bytes) {
    try {
      ahead_.resize(bytes);
      return true;
    } catch (const std::bad_alloc&) {
      VrkVector<unsigned char>().swap(ahead_);
      return false;
    }
  }

  template <class F>
  bool Retry(F step) {
    for (int attempt = 1;; ++attempt) {
      error_ = EIO;
      retryAfter_ = -1;
      Step s = Step::kFail;
      try {
        s = step();
      } catch (const std::bad_alloc&) {
        error_ = ENOMEM;  // the request's headers could not be made
      }
      if (s == Step::kDone) return true;
      if (s == Step::kFail || attempt >= kAttempts) return NoteSystemError(error_), false;
      if (retryAfter_ >= 0) {
        PauseMs(std::min(retryAfter_, kLongestRetryAfter) * 1000);
      } else {
        PauseMs(std::min(kFirstPauseMs << (attempt - 1), kLongestPauseMs));
      }
    }
  }

  // The `count` bytes at `offset`, with retries; false with the reason noted.
  bool Fetch(char* out, uint64_t offset, uint32_t count) {
    uint32_t done = 0;
    return Retry([&] {
      return ranges_ ? RangeStep(out, offset, count, &done) : SkipStep(out, offset, count, &done);
    });
  }

  Step Fail(int err) {
    error_ = err;
    return Step::kFail;
  }

  // The step after a reply that did not bring what was asked for.
  Step Judge(const HttpReply& r) {
    if (r.outOfMemory) return Fail(ENOMEM);
    if (r.transport != 0) return r.transient ? Step::kAgain : Fail(EIO);
    switch (r.status) {
      case 401: case 403: return Fail(EACCES);
      case 404: case 410: return Fail(ENOENT);
      case 412: case 416: return Fail(ESTALE);  // no longer the file opened
      case 408: case 429: retryAfter_ = r.retryAfter; return Step::kAgain;
      default: break;
    }
    if (r.status >= 500 && r.status <= 599) {
      retryAfter_ = r.retryAfter;
      return Step::kAgain;
    }
    return Fail(EIO);
  }

  // True unless the reply names another version of the file than the open.
  bool SameIdentity(const HttpReply& r) const {
    if (!etag_.empty() && !r.etag.empty() && r.etag != etag_) return false;
    if (!lastModified_.empty() && !r.lastModified.empty() && r.lastModified != lastModified_)
      return false;
    return true;
  }

  void Pin(const HttpReply& r) {
    etag_ = r.etag;
    lastModified_ = r.lastModified;
  }

  // The headers of a request for bytes of the opened file: a server that
  // has another version answers 412 instead of its bytes.
  VrkString Conditions() const {
    VrkString h = headers_;
    if (!etag_.empty() && etag_.compare(0, 2, "W/") != 0) {
      h += "\nIf-Match: " + etag_;
    } else if (!lastModified_.empty()) {
      h += "\nIf-Unmodified-Since: " + lastModified_;
    }
    return h;
  }

  Step FetchWhole() {
    cache_.clear();
    bool tooLarge = false;
    const HttpReply r = session_.Get(url_.c_str(), headers_.c_str(), 1, 0, [&](const HttpReply& h, const char* d, size_t n) {
      if (h.status != 200) return true;  // an error page: not the file
      if (cache_.size() + n > kMaxSize) return tooLarge = true, false;
      cache_.insert(cache_.end(), d, d + n);
      return true;
    });
    if (tooLarge) return Fail(EFBIG);
    if (r.status != 200 || r.transport != 0) return Judge(r);
    if (r.contentLength >= 0 && static_cast<uint64_t>(r.contentLength) != cache_.size())
      return Step::kAgain;
    Pin(r);
    size_ = cache_.size();
    return Step::kDone;
  }

  // The first bytes, the size and the identity; whether the server serves
  // ranges.
  Step FetchHead() {
    cache_.clear();
    uint64_t seen = 0;
    bool enough = false;
    const HttpReply r = session_.Get(url_.c_str(), headers_.c_str(), 0, headBytes_ - 1, [&](const HttpReply& h, const char* d, size_t n) {
      if (h.status != 200 && h.status != 206) return true;
      const size_t keep = std::min<size_t>(n, headBytes_ - std::min<uint64_t>(seen, headBytes_));
      cache_.insert(cache_.end(), d, d + keep);
      seen += n;
      if (h.status == 206) return seen <= headBytes_;
      // Ranges ignored: the whole body comes. Its length tells the size;
      // without one the body is counted to its end.
      enough = seen >= headBytes_ && h.contentLength >= 0;
      return !enough;
    });
    if (r.status == 206 && r.transport == 0) {
      uint64_t first = 0, last = 0, total = 0;
      if (r.stopped || !ParseContentRange(r.contentRange, &first, &last, &total) || first != 0 ||
          last + 1 != cache_.size())
        return Fail(EPROTO);
      if (total > kMaxSize) return Fail(EFBIG);
      ranges_ = true;
      size_ = total;
    } else if (r.status == 200 && (enough || r.transport == 0)) {
      ranges_ = false;
      size_ = enough ? static_cast<uint64_t>(r.contentLength) : seen;
      if (size_ > kMaxSize) return Fail(EFBIG);
      if (size_ < cache_.size()) return Fail(EPROTO);
    } else if (r.status == 416 && r.transport == 0) {
      uint64_t total = 1;
      if (!ParseUnsatisfiedRange(r.contentRange, &total) || total != 0) return Fail(EPROTO);
      cache_.clear();
      size_ = 0;
    } else {
      return Judge(r);
    }
    Pin(r);
    return Step::kDone;
  }

  // One range request for what `done` lacks of the `count` bytes at
  // `offset`; bytes received before a cut stay.
  Step RangeStep(char* out, uint64_t offset, uint32_t count, uint32_t* done) {
    const uint64_t first = offset + *done;
    const uint64_t last = offset + count - 1;
    bool checked = false, changed = false, wrong = false;
    const HttpReply r = session_.Get(url_.c_str(), Conditions().c_str(), first, last, [&](const HttpReply& h, const char* d, size_t n) {
      if (h.status == 200) return false;  // not a range: judged below
      if (h.status != 206) return true;
      if (!checked) {
        uint64_t a = 0, b = 0, total = 0;
        changed = !SameIdentity(h) ||
                  (ParseContentRange(h.contentRange, &a, &b, &total) && total != size_);
        wrong = !changed && (!ParseContentRange(h.contentRange, &a, &b, &total) || a != first || b != last);
        checked = true;
        if (changed || wrong) return false;
      }
      if (n > count - *done) return wrong = true, false;
      std::memcpy(out + *done, d, n);
      *done += static_cast<uint32_t>(n);
      return true;
    });
    if (changed) return Fail(ESTALE);
    if (wrong) return Fail(EPROTO);
    if (r.status == 200) {
      if (!SameIdentity(r) || (r.contentLength >= 0 && static_cast<uint64_t>(r.contentLength) != size_))
        return Fail(ESTALE);
      // The server ignores ranges (now): read from the start of its body.
      ranges_ = false;
      return SkipStep(out, offset, count, done);
    }
    if (r.status == 206 && r.transport == 0) return *done == count ? Step::kDone : Step::kAgain;
    return Judge(r);
  }

  // What `done` lacks of the `count` bytes at `offset`, from a response
  // with the whole body: the bytes before them are skipped.
  Step SkipStep(char* out, uint64_t offset, uint32_t count, uint32_t* done) {
    uint64_t at = 0;
    bool checked = false, changed = false, wrong = false, finished = false;
    const HttpReply r = session_.Get(url_.c_str(), Conditions().c_str(), 1, 0, [&](const HttpReply& h, const char* d, size_t n) {
      if (h.status == 206) return wrong = true, false;
      if (h.status != 200) return true;
      if (!checked) {
        changed = !SameIdentity(h) ||
                  (h.contentLength >= 0 && static_cast<uint64_t>(h.contentLength) != size_);
        checked = true;
        if (changed) return false;
      }
      const uint64_t from = std::max(at, offset + *done);
      const uint64_t to = std::min(at + n, offset + count);
      if (from < to) {
        std::memcpy(out + (from - offset), d + (from - at), to - from);
        *done = static_cast<uint32_t>(to - offset);
      }
      at += n;
      finished = *done == count;
      return !finished;
    });
    if (changed) return Fail(ESTALE);
    if (wrong) return Fail(EPROTO);
    if (finished) return Step::kDone;
    // A whole body that ended before the range: the file is shorter now.
    if (r.status == 200 && r.transport == 0) return Fail(ESTALE);
    return Judge(r);
  }

  HttpSession session_;
  VrkString url_;
  VrkString headers_;
  VrkString etag_;
  VrkString lastModified_;
  uint64_t size_ = 0;
  bool ranges_ = true;
  VrkVector<unsigned char> cache_;  // the whole body, or the first bytes
  VrkVector<unsigned char> ahead_;  // bytes read ahead, from aheadAt_ on
  uint64_t aheadAt_ = 0;
  uint64_t lastEnd_ = UINT64_MAX;     // where the last read ended
  uint64_t window_ = 0;
  bool exact_ = false;                // kAttrRandomAccess: no read-ahead
  uint32_t headBytes_ = kHeadBytes;   // what the open asks for
  int error_ = EIO;
  long retryAfter_ = -1;
};

// Open remote files by handle. The count lets disk handles pass without
// taking the lock while no remote file is open. A map's nodes come and go
// with its files, so that no block of the host's allocator outlives them.
using FileMap = std::map<int, std::unique_ptr<RemoteFile>, std::less<int>,
                         VrkStlAllocator<std::pair<const int, std::unique_ptr<RemoteFile>>>>;
std::mutex g_mutex;
FileMap g_files;
std::atomic<unsigned> g_open{0};

RemoteFile* Find(FileHandle file) {
  if (file == kInvalidFile || g_open.load(std::memory_order_acquire) == 0) return nullptr;
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = g_files.find(file);
  return it == g_files.end() ? nullptr : it->second.get();
}

// A read whose memory ran out fails like any other (ENOMEM).
unsigned ReadCaught(RemoteFile* f, void* buffer, unsigned count, uint64_t offset) {
  try {
    return f->ReadAt(buffer, count, offset);
  } catch (...) {
    return NoteSystemError(ENOMEM), 0;
  }
}

}  // namespace

bool IsRemotePath(const char* path) {
  return path && (strncasecmp(path, "http://", 7) == 0 || strncasecmp(path, "https://", 8) == 0);
}

FileHandle OpenRemoteFile(const char* url, unsigned mode, unsigned attributes) {
  if (!IsRemotePath(url)) return kInvalidFile;
  if ((mode & 3) != 0) return NoteSystemError(EROFS), kInvalidFile;
  std::unique_ptr<RemoteFile> file;
  try {
    file.reset(new RemoteFile(url));
  } catch (...) {
  }
  if (!file) return NoteSystemError(ENOMEM), kInvalidFile;
  if (!file->Open((attributes & kAttrSequentialScan) != 0, (attributes & kAttrRandomAccess) != 0))
    return kInvalidFile;
  const int fd = memfd_create("orvel-remote", MFD_CLOEXEC);
  if (fd < 0) return NoteSystemError(errno), kInvalidFile;
  try {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_files[fd] = std::move(file);
  } catch (...) {
    close(fd);
    return NoteSystemError(ENOMEM), kInvalidFile;
  }
  g_open.fetch_add(1, std::memory_order_release);
  return fd;
}

bool IsRemoteFile(FileHandle file) { return Find(file) != nullptr; }

bool CloseRemoteFile(FileHandle file) {
  if (!Find(file)) return false;
  std::unique_ptr<RemoteFile> gone;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_files.find(file);
    gone = std::move(it->second);
    g_files.erase(it);
  }
  g_open.fetch_sub(1, std::memory_order_release);
  close(file);
  return true;
}

unsigned ReadRemoteFile(FileHandle file, void* buffer, unsigned count) {
  RemoteFile* f = Find(file);
  if (!f || (!buffer && count)) return 0;
  const unsigned n = ReadCaught(f, buffer, count, f->position);
  f->position += n;
  return n;
}

unsigned ReadRemoteFileAt(FileHandle file, void* buffer, unsigned count, unsigned offset) {
  RemoteFile* f = Find(file);
  if (!f || (!buffer && count)) return 0;
  return ReadCaught(f, buffer, count, offset);
}

unsigned GetRemoteFileSize(FileHandle file) {
  RemoteFile* f = Find(file);
  return f ? static_cast<unsigned>(f->Size()) : kFileFailure;
}

unsigned SeekRemoteFile(FileHandle file, int32_t offset, unsigned origin) {
  RemoteFile* f = Find(file);
  if (!f) return kFileFailure;
  int64_t target;
  switch (origin) {
    case 0: target = static_cast<uint32_t>(offset); break;
    case 1: target = static_cast<int64_t>(f->position) + offset; break;
    case 2: target = static_cast<int64_t>(f->Size()) + offset; break;
    default: return kFileFailure;
  }
  if (target < 0 || static_cast<uint64_t>(target) > kMaxSize) return kFileFailure;
  f->position = static_cast<uint64_t>(target);
  return static_cast<unsigned>(target);
}

unsigned TellRemoteFile(FileHandle file) {
  RemoteFile* f = Find(file);
  return f ? static_cast<unsigned>(f->position) : kFileFailure;
}

}  // namespace orvel
