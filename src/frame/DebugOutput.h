// The debugger output channel.
#ifndef ORVEL_FRAME_DEBUG_OUTPUT_H
#define ORVEL_FRAME_DEBUG_OUTPUT_H

namespace orvel {

// Silent by default; writes `message` as one line to standard error when the
// environment variable VRK_DEBUG is set, or hands it to the test hook.
void DebugOutput(const char* message);

using DebugHook = void (*)(const char* message);
void SetDebugHook(DebugHook hook);

}  // namespace orvel

#endif
