// Text from an archive made safe for a terminal.
#ifndef VRK_PRINTABLE_TEXT_H
#define VRK_PRINTABLE_TEXT_H

#include <string>

namespace vrk {

// Control characters (below 0x20, and 0x7F) become "\xNN", so that a name in
// a hostile archive cannot move the cursor, clear the screen or retitle the
// terminal when it is listed or named in a message.
std::string Printable(const std::string& text);

}  // namespace vrk

#endif
