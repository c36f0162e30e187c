// Gathering of small positional writes into aligned runs.
//
// Archives grow by many small appends (one per stored file, then a checksum
// word). Written one by one, each lands in the page cache as a few small
// pages; a run of appends gathered and written out in pieces aligned to
// kGatherRun lets the kernel keep them as large cached blocks, which later
// reads copy out markedly faster, and it saves a system call per append.
//
// Each handle may own one pending run: bytes written contiguously after its
// start and not yet on disk. A run never crosses a kGatherRun boundary; when
// it reaches one it is written out. Anything that could observe the file
// differently (an overlapping read, a write elsewhere, a commit, a close)
// writes the run out first, so callers see the file exactly as if every
// write had gone straight to disk. A failed deferred write is sticky: every
// later write and flush on that handle fails until it is closed, so no
// commit can claim data that never reached the file.
//
// Used by the file layer only; handles are file descriptors.
#ifndef ORVEL_FRAME_GATHERED_WRITES_H
#define ORVEL_FRAME_GATHERED_WRITES_H

#include <cstddef>
#include <cstdint>

namespace orvel {

constexpr uint32_t kGatherRun = 256 * 1024;

// Takes a positional write into the handle's run (starting one when needed)
// or, when no run can be had, writes it at once. `count` on success, 0 when
// this or an earlier deferred write failed.
unsigned GatherWrite(int fd, const void* data, unsigned count, uint32_t offset);

// Writes the handle's pending run out if it overlaps [offset, offset +
// count). False when that write (or an earlier one) failed.
bool WriteOutOverlapping(int fd, uint64_t offset, uint64_t count);

// Writes the pending run out. False when that write or an earlier deferred
// one failed. With `release`, also gives the run's memory back (the failure
// state stays until ForgetGathered).
bool WriteOutGathered(int fd, bool release);

// The end of the pending run (0 when there is none): the file's logical size
// is at least this.
uint64_t GatheredEnd(int fd);

// Writes the pending run out (result as WriteOutGathered) and forgets the
// handle entirely; called before its descriptor is closed.
bool ForgetGathered(int fd);

}  // namespace orvel

#endif
