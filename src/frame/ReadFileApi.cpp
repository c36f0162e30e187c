// The exported read-only file calls (orvel/VrkReadFile.h) over the file layer.
#include "orvel/VrkReadFile.h"

#include "frame/DiskFile.h"

using namespace orvel;

VRK_API int VrkOpenReadFile(const char* path, unsigned how) {
  unsigned attributes = kAttrNormal;
  if (how & VRK_READ_WHOLE) attributes |= kAttrSequentialScan;
  if (how & VRK_READ_EXACT) attributes |= kAttrRandomAccess;
  return OpenDiskFileEx(path, kModeReadShared, attributes);
}

VRK_API unsigned VrkReadFileAt(int file, void* buffer, unsigned count, unsigned offset) {
  return ReadDiskFileAt(file, buffer, count, offset);
}

VRK_API unsigned VrkGetReadFileSize(int file) { return GetDiskFileSize(file); }

VRK_API void VrkCloseReadFile(int file) { CloseDiskFile(file); }
