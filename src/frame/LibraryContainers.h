// Strings and vectors whose blocks follow the allocation rule (Allocation.h):
// for state the library keeps, so that a host's allocator sees it. They
// throw std::bad_alloc like the standard ones; callers catch it inside the
// library.
#ifndef ORVEL_FRAME_LIBRARY_CONTAINERS_H
#define ORVEL_FRAME_LIBRARY_CONTAINERS_H

#include <string>
#include <vector>

#include "frame/Allocation.h"

namespace orvel {

using VrkString = std::basic_string<char, std::char_traits<char>, VrkStlAllocator<char>>;

template <class T>
using VrkVector = std::vector<T, VrkStlAllocator<T>>;

}  // namespace orvel

#endif
