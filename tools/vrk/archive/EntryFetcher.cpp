#include "archive/EntryFetcher.h"

#include <OrvelPacket.h>

#include <chrono>
#include <new>
#include <system_error>

#include "archive/PacketHandle.h"
#include "console/StopSignals.h"

namespace vrk {
namespace {

// Decoded bytes read ahead and not yet taken, at most (a file larger than
// this is still read, alone). A worker waits until they fall below half of
// it before it claims a run: claims of one entry each, whenever the writer
// took one, would be reads far apart, each with a read-ahead of its own.
constexpr uint64_t kAheadBytes = 64u << 20;
constexpr uint64_t kClaimBelow = kAheadBytes / 2;
// A worker claims consecutive entries up to this many stored bytes or
// entries. The remote layer's read-ahead (growing to 1 MiB) merges their
// ranges into few requests, and fetches up to one window past the run's end
// for nothing: runs of several windows keep that small.
constexpr uint64_t kRunBytes = 8u << 20;
constexpr size_t kRunEntries = 4096;

}  // namespace

EntryFetcher::EntryFetcher(const Packet& packet, std::vector<std::string> names, unsigned workers)
    : packet_(packet), names_(std::move(names)), slots_(names_.size()) {
  if (workers <= 1 || names_.size() <= 1) return;
  for (size_t i = 0; i < names_.size(); ++i) {
    const char* n = names_[i].c_str();
    slots_[i].size = packet_->GetFileOriginalSize(n);
    slots_[i].stored = packet_->GetFileStoredSize(n);
  }
  try {
    for (unsigned w = 0; w < workers && w < names_.size(); ++w) workers_.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // No thread to be had: those started do the work, or Take reads alone.
  }
}

EntryFetcher::~EntryFetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool EntryFetcher::MayClaim() const {
  if (stop_ || nextClaim_ >= slots_.size()) return true;  // wakes to leave
  // The entry taken next is always read, however large.
  return nextClaim_ <= taken_ || ahead_ < kClaimBelow;
}

void EntryFetcher::Work() {
  std::optional<Packet> own;
  try {
    own.emplace(Packet::Open(packet_.Path()));
  } catch (...) {
    return;  // the others, or the taking thread itself, read its share
  }
  for (;;) {
    size_t first, end;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return MayClaim(); });
      if (stop_ || nextClaim_ >= slots_.size() || StopRequested()) return;
      first = end = nextClaim_;
      uint64_t stored = 0;
      while (end < slots_.size() && end - first < kRunEntries &&
             (end == first || (stored < kRunBytes && ahead_ + slots_[end].size <= kAheadBytes))) {
        slots_[end].state = Slot::kClaimed;
        stored += slots_[end].stored;
        ahead_ += slots_[end].size;
        ++end;
      }
      nextClaim_ = end;
    }
    for (size_t i = first; i < end; ++i) {
      std::optional<EntryBytes> bytes;
      std::exception_ptr error;
      bool passed;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        passed = stop_ || i < taken_;
      }
      if (!passed) {
        try {
          bytes.emplace(ReadEntry(*own, names_[i]));
        } catch (...) {
          error = std::current_exception();
        }
      }
      Settle(i, std::move(bytes), error);
    }
  }
}

void EntryFetcher::Settle(size_t index, std::optional<EntryBytes> bytes, std::exception_ptr error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Slot& slot = slots_[index];
    slot.state = Slot::kReady;
    if (index < taken_) {
      ahead_ -= slot.size;  // passed over meanwhile: nobody takes it
    } else {
      slot.bytes = std::move(bytes);
      slot.error = error;
    }
  }
  changed_.notify_all();
}

EntryBytes EntryFetcher::Take(size_t index, const std::function<void()>& waiting) {
  if (workers_.empty()) return ReadEntry(packet_, names_.at(index));
  std::unique_lock<std::mutex> lock(mutex_);
  // Entries passed over are dropped, or will be once read.
  for (size_t i = taken_; i < index; ++i) {
    Slot& slot = slots_[i];
    if (slot.state == Slot::kReady) {
      ahead_ -= slot.size;
      slot.bytes.reset();
      slot.error = nullptr;
    }
  }
  // The entry waited for counts as passed over only once it is taken.
  taken_ = index;
  Slot& slot = slots_.at(index);
  if (slot.state == Slot::kFree) {
    taken_ = index + 1;
    // No worker got to it (none could open the archive, or all are busy far
    // behind): read it here rather than wait.
    slot.state = Slot::kReady;
    if (nextClaim_ <= index) nextClaim_ = index + 1;
    lock.unlock();
    changed_.notify_all();
    return ReadEntry(packet_, names_[index]);
  }
  while (slot.state != Slot::kReady) {
    if (changed_.wait_for(lock, std::chrono::milliseconds(100)) == std::cv_status::timeout) {
      lock.unlock();
      waiting();
      lock.lock();
    }
  }
  taken_ = index + 1;
  ahead_ -= slot.size;
  std::optional<EntryBytes> bytes = std::move(slot.bytes);
  const std::exception_ptr error = slot.error;
  slot.bytes.reset();
  slot.error = nullptr;
  lock.unlock();
  changed_.notify_all();
  if (error) std::rethrow_exception(error);
  if (!bytes) throw ToolError(packet_.About(names_[index]) + ": not read");  // never: each is read or fails
  return std::move(*bytes);
}

}  // namespace vrk
