// In-process emulation of Windows share modes.
#ifndef ORVEL_FRAME_SHARE_REGISTRY_H
#define ORVEL_FRAME_SHARE_REGISTRY_H

#include <sys/types.h>

namespace orvel {

// Access and sharing bits of one handle.
enum : unsigned { kShareRead = 1, kShareWrite = 2 };

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

// Registers handle `fd` on `id` with the given access and sharing, unless an
// open handle on the same file refuses it (its sharing does not allow our
// access, or our sharing does not allow its access). Thread-safe.
bool RegisterHandle(int fd, FileIdentity id, unsigned access, unsigned share,
                    bool writeThrough);
// Forgets `fd`; returns false when it was not registered.
bool UnregisterHandle(int fd);
// True when any registered handle refers to `id`.
bool IsHeldOpen(FileIdentity id);
// True when `fd` is registered and was opened with write-through.
bool IsWriteThrough(int fd);

}  // namespace orvel

#endif
