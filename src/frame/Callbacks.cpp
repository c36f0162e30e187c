#include "frame/Callbacks.h"

namespace orvel {
namespace {
// Slots for kinds 1 to 9; index 0 is unused.
VrkCallback g_callbacks[10] = {};
}  // namespace

void FireCallback(unsigned kind, IOrvelPacket* packet, int total, int current) {
  if (kind == 0 || kind > 9) return;
  // Kinds 1 to 3 are stored but never called.
  if (kind <= 3) return;
  if (VrkCallback cb = g_callbacks[kind]) cb(packet, total, current);
}

bool HasCallback(unsigned kind) { return kind > 3 && kind <= 9 && g_callbacks[kind]; }

void ResetCallbacks() {
  for (auto& cb : g_callbacks) cb = nullptr;
}

}  // namespace orvel

VRK_API void SetVrkCallback(unsigned long kind, int (*callback)(IOrvelPacket*, int, int)) {
  if (kind < 1 || kind > 9) return;
  orvel::g_callbacks[kind] = callback;
}
