#include "archive/CompressPipeline.h"

#include <lzo/lzo1x.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>

#include "console/StopSignals.h"

namespace vrk {
namespace {

// Results waiting for the main thread may hold at most this many input
// bytes; a single larger file is still let through.
constexpr uint64_t kMaxBytesAhead = 256u << 20;
// Files at least this large get the LZO1X-1 trial first, on their first
// kTrialSample bytes and, when those do not shrink, on the whole file in
// pieces of kTrialPiece.
constexpr size_t kTrialThreshold = 512;
constexpr size_t kTrialSample = 4096;
constexpr size_t kTrialPiece = 4u << 20;
// Files from this size report progress while they are compressed and give
// back the input pages the compressor has passed.
constexpr size_t kWatchedSize = 1u << 20;
// The compressor looks back at most 48 KiB; pages further behind are done.
constexpr size_t kCompressorReach = 64u << 10;

size_t StreamBound(size_t n) { return n + n / 16 + 64 + 3; }

struct Watch {
  MappedInput* input;
  std::atomic<uint64_t>* progress;
  size_t reported;
};

void OnCompressorProgress(void* user, size_t done) {
  Watch* w = static_cast<Watch*>(user);
  if (done < w->reported + (1u << 20)) return;
  w->progress->fetch_add(done - w->reported, std::memory_order_relaxed);
  w->reported = done;
  if (w->input && done > kCompressorReach) w->input->ReleaseBefore(done - kCompressorReach);
}

}  // namespace

unsigned DefaultJobs() {
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
}

Packer::Packer(int level)
    : work1_(LZO1X_1_MEM_COMPRESS), level_(level) {}

// LZO1X-1 leaves incompressible data almost at once, so a trial costs
// little there; on text it costs a fraction of LZO1X-999's time, and a trial
// on the first few kilobytes settles most text files.
bool Packer::MayShrink(const unsigned char* data, size_t n, MappedInput* input) {
  if (n < kTrialThreshold) return true;
  if (trial_.empty()) trial_.resize(StreamBound(kTrialPiece));
  lzo_uint len = trial_.size();
  size_t head = n < kTrialSample ? n : kTrialSample;
  if (lzo1x_1_compress(data, head, trial_.data(), &len, work1_.data()) == LZO_E_OK && len < head)
    return true;
  if (head == n) return false;
  uint64_t total = 0;
  for (size_t at = 0; at < n; at += kTrialPiece) {
    const size_t piece = n - at < kTrialPiece ? n - at : kTrialPiece;
    len = trial_.size();
    if (lzo1x_1_compress(data + at, piece, trial_.data(), &len, work1_.data()) != LZO_E_OK)
      return false;
    total += len;
    if (input) input->ReleaseBefore(at + piece);
  }
  return total < n;
}

bool Packer::Compress(const unsigned char* data, size_t n, ByteBuffer* stream, MappedInput* input,
                      std::atomic<uint64_t>* progress) {
  if (!MayShrink(data, n, input)) return false;
  ByteBuffer out(orvel::Lzo1x999Bound(n));
  size_t len = 0;
  Watch watch{input, progress, 0};
  // Our LZO1X-999 writes liblzo2's bytes at every level; the progress
  // callback only reports.
  const bool packed =
      compressor_.Compress(data, n, out.Data(), &len, level_,
                           progress && n >= kWatchedSize ? &OnCompressorProgress : nullptr, &watch);
  if (progress) progress->fetch_sub(watch.reported, std::memory_order_relaxed);
  if (!packed || len >= n) return false;
  out.Shrink(len);
  *stream = std::move(out);
  return true;
}

PackedFile Packer::Pack(std::shared_ptr<MappedInput> input, bool store,
                        std::atomic<uint64_t>* progress) {
  PackedFile packed;
  packed.originalSize = static_cast<uint32_t>(input->Size());
  const size_t n = input->Size();
  packed.compressed = !store && n > 0 &&
                      Compress(input->Data(), n, &packed.stream, input.get(), progress);
  if (!packed.compressed) packed.input = std::move(input);
  if (progress) progress->fetch_add(n, std::memory_order_relaxed);
  return packed;
}

PackedFile Packer::PackQuickly(const std::string& bytes) {
  PackedFile packed;
  const size_t n = bytes.size();
  packed.originalSize = static_cast<uint32_t>(n);
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  ByteBuffer out(StreamBound(n));
  lzo_uint len = out.Size();
  packed.compressed = n > 0 && lzo1x_1_compress(data, n, out.Data(), &len, work1_.data()) == LZO_E_OK &&
                      len < n;
  if (!packed.compressed) {
    len = n;
    if (n) std::memcpy(out.Data(), data, n);
  }
  out.Shrink(len);
  packed.stream = std::move(out);
  return packed;
}

// Everything the workers touch, shared with them so that workers left
// running after a stop signal never reach freed memory.
struct CompressPipeline::State {
  struct Input {
    std::string path;
    uint64_t size;
  };
  std::vector<Input> files;
  bool store = false;
  int level = kDefaultPackLevel;
  size_t maxAhead = 0;
  std::mutex mutex;
  std::condition_variable ready, room;
  std::vector<std::unique_ptr<PackedFile>> done;
  size_t nextClaim = 0;
  size_t nextTake = 0;
  uint64_t bytesAhead = 0;
  bool stop = false;
  std::atomic<uint64_t> bytesDone{0};

  bool MayClaim(size_t index) const {
    if (index >= files.size()) return true;  // nothing left: let the worker see it and leave
    if (index == nextTake) return true;      // the file the main thread waits for
    return index < nextTake + maxAhead && bytesAhead + files[index].size <= kMaxBytesAhead;
  }
};

CompressPipeline::CompressPipeline(const std::vector<InputFile>& files, unsigned jobs, bool store,
                                   int level)
    : state_(std::make_shared<State>()) {
  if (jobs == 0) jobs = 1;
  state_->store = store;
  state_->level = level;
  state_->maxAhead = 16 * static_cast<size_t>(jobs) + 16;
  for (const InputFile& f : files) state_->files.push_back({f.diskPath, f.size});
  state_->done.resize(files.size());
  for (unsigned i = 0; i < jobs; ++i) workers_.emplace_back(&CompressPipeline::Work, state_);
}

CompressPipeline::~CompressPipeline() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stop = true;
  }
  state_->room.notify_all();
  // A stop or a failure leaves the files still being compressed unwanted.
  const bool abandoned = StopRequested() || std::uncaught_exceptions() > 0;
  for (std::thread& t : workers_) abandoned ? t.detach() : t.join();
}

void CompressPipeline::Work(std::shared_ptr<State> s) {
  Packer packer(s->level);
  std::unique_lock<std::mutex> lock(s->mutex);
  for (;;) {
    s->room.wait(lock, [&s] { return s->stop || s->MayClaim(s->nextClaim); });
    if (s->stop || s->nextClaim >= s->files.size()) return;
    size_t index = s->nextClaim++;
    s->bytesAhead += s->files[index].size;
    lock.unlock();

    auto input = std::make_shared<MappedInput>(s->files[index].path);
    auto packed = std::make_unique<PackedFile>();
    if (input->Ok())
      *packed = packer.Pack(std::move(input), s->store, &s->bytesDone);
    else
      packed->error = input->Error();

    lock.lock();
    s->done[index] = std::move(packed);
    s->ready.notify_all();
  }
}

PackedFile CompressPipeline::Take(size_t index, const std::function<void()>& tick) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  while (!state_->ready.wait_for(lock, std::chrono::milliseconds(100),
                                 [&] { return state_->done[index] != nullptr; })) {
    lock.unlock();
    tick();
    lock.lock();
  }
  PackedFile packed = std::move(*state_->done[index]);
  state_->done[index].reset();
  state_->bytesAhead -= state_->files[index].size;
  state_->nextTake = index + 1;
  lock.unlock();
  state_->room.notify_all();
  return packed;
}

uint64_t CompressPipeline::BytesDone() const {
  return state_->bytesDone.load(std::memory_order_relaxed);
}

}  // namespace vrk
