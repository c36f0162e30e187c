// Symbol visibility for the OrvelPacket shared library.
#ifndef ORVEL_VRK_EXPORT_H
#define ORVEL_VRK_EXPORT_H

// The library is built with hidden visibility; only what carries VRK_API is
// exported (and a linker version script keeps it that way).
#if defined(__GNUC__)
#define VRK_API __attribute__((visibility("default")))
#else
#define VRK_API
#endif

#endif
