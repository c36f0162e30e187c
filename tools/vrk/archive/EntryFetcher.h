// Whole files of an archive read ahead of the thread that writes them out,
// by worker threads with an archive handle each: one archive object serves
// one thread at a time, and reads over HTTP mostly wait on the network, so
// several handles keep several requests in flight. Each worker reads a run
// of consecutive entries, which the remote layer's read-ahead fetches in few
// range requests when they lie side by side in the archive.
#ifndef VRK_ENTRY_FETCHER_H
#define VRK_ENTRY_FETCHER_H

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "archive/PacketRead.h"

namespace vrk {

class Packet;

class EntryFetcher {
 public:
  // Reads the files `names` of `packet` (taken in this order) with
  // `workers` threads; with 1, each file is read when it is taken, through
  // `packet`, as without a fetcher. A worker whose handle cannot be opened
  // just does not help.
  EntryFetcher(const Packet& packet, std::vector<std::string> names, unsigned workers);
  ~EntryFetcher();
  EntryFetcher(const EntryFetcher&) = delete;
  EntryFetcher& operator=(const EntryFetcher&) = delete;

  // The bytes of names[index], or what ReadEntry throws for it. Indexes
  // only grow from one call to the next; those passed over are dropped.
  // While it waits, `waiting` runs about ten times a second.
  EntryBytes Take(size_t index, const std::function<void()>& waiting);

 private:
  struct Slot {
    enum State { kFree, kClaimed, kReady } state = kFree;
    std::optional<EntryBytes> bytes;
    std::exception_ptr error;
    uint64_t size = 0;   // original size: the memory it will take
    uint64_t stored = 0;
  };

  void Work();
  // With the lock held: whether a worker may claim the next run now.
  bool MayClaim() const;
  void Settle(size_t index, std::optional<EntryBytes> bytes, std::exception_ptr error);

  const Packet& packet_;
  const std::vector<std::string> names_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t nextClaim_ = 0;  // first entry no one claimed yet
  size_t taken_ = 0;      // entries below this were taken or passed over, none is read
  uint64_t ahead_ = 0;    // bytes claimed and not taken yet
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace vrk

#endif
