#include "CompressPipeline.h"

#include <fcntl.h>
#include <lzo/lzo1x.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vrk {
namespace {

// Results waiting for the main thread may hold at most this many input
// bytes; a single larger file is still let through.
constexpr uint64_t kMaxBytesAhead = 256u << 20;
// Files at least this large get the LZO1X-1 trial first, on their first
// kTrialSample bytes and, when those do not shrink, on the whole file.
constexpr size_t kTrialThreshold = 512;
constexpr size_t kTrialSample = 4096;
// The archive addresses everything with 32-bit offsets.
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull - 4096;

size_t StreamBound(size_t n) { return n + n / 16 + 64 + 3; }

}  // namespace

unsigned DefaultJobs() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out, std::string* error) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = path + ": not a regular file";
    close(fd);
    return false;
  }
  out->clear();
  out->resize(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  for (;;) {
    if (got == out->size()) out->resize(out->size() * 2);
    ssize_t r = read(fd, out->data() + got, out->size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      *error = path + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
    if (got > kMaxFileSize) {
      *error = path + ": too large for an archive (files must stay below 4 GiB)";
      close(fd);
      return false;
    }
  }
  close(fd);
  out->resize(got);
  return true;
}

Packer::Packer() : work999_(LZO1X_999_MEM_COMPRESS), work1_(LZO1X_1_MEM_COMPRESS) {}

// LZO1X-1 leaves incompressible data almost at once, so a trial costs
// little there; on text it costs a fraction of LZO1X-999's time, and a trial
// on the first few kilobytes settles most text files.
bool Packer::MayShrink(const unsigned char* data, size_t n, unsigned char* scratch,
                       size_t scratchSize) {
  if (n < kTrialThreshold) return true;
  lzo_uint len = scratchSize;
  size_t head = n < kTrialSample ? n : kTrialSample;
  if (lzo1x_1_compress(data, head, scratch, &len, work1_.data()) == LZO_E_OK && len < head)
    return true;
  if (head == n) return false;
  len = scratchSize;
  return lzo1x_1_compress(data, n, scratch, &len, work1_.data()) == LZO_E_OK && len < n;
}

PackedFile Packer::Pack(std::vector<unsigned char> data, bool store) {
  PackedFile packed;
  packed.originalSize = static_cast<uint32_t>(data.size());
  const size_t n = data.size();
  if (!store && n > 0) {
    std::vector<unsigned char> stream(StreamBound(n));
    lzo_uint len = stream.size();
    if (MayShrink(data.data(), n, stream.data(), stream.size()) &&
        lzo1x_999_compress(data.data(), n, stream.data(), &len, work999_.data()) == LZO_E_OK &&
        len < n) {
      stream.resize(len);
      stream.shrink_to_fit();
      packed.bytes = std::move(stream);
      packed.compressed = true;
      return packed;
    }
  }
  packed.bytes = std::move(data);
  return packed;
}

CompressPipeline::CompressPipeline(const std::vector<InputFile>& files, unsigned jobs, bool store)
    : files_(files), store_(store), maxAhead_(16 * static_cast<size_t>(jobs) + 16) {
  done_.resize(files.size());
  if (jobs == 0) jobs = 1;
  for (unsigned i = 0; i < jobs; ++i) workers_.emplace_back(&CompressPipeline::Work, this);
}

CompressPipeline::~CompressPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  room_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool CompressPipeline::MayClaim(size_t index) const {
  if (index >= files_.size()) return true;  // nothing left: let the worker see it and leave
  if (index == nextTake_) return true;      // the file the main thread waits for
  return index < nextTake_ + maxAhead_ && bytesAhead_ + files_[index].size <= kMaxBytesAhead;
}

void CompressPipeline::Work() {
  Packer packer;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    room_.wait(lock, [this] { return stop_ || MayClaim(nextClaim_); });
    if (stop_ || nextClaim_ >= files_.size()) return;
    size_t index = nextClaim_++;
    bytesAhead_ += files_[index].size;
    lock.unlock();

    auto packed = std::make_unique<PackedFile>();
    std::vector<unsigned char> data;
    if (ReadWholeFile(files_[index].diskPath, &data, &packed->error))
      *packed = packer.Pack(std::move(data), store_);

    lock.lock();
    done_[index] = std::move(packed);
    ready_.notify_all();
  }
}

PackedFile CompressPipeline::Take(size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait(lock, [&] { return done_[index] != nullptr; });
  PackedFile packed = std::move(*done_[index]);
  done_[index].reset();
  bytesAhead_ -= files_[index].size;
  nextTake_ = index + 1;
  lock.unlock();
  room_.notify_all();
  return packed;
}

}  // namespace vrk
