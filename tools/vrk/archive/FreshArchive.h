// The files of an archive that create writes under temporary names beside
// the archive it makes, so that the archive there (if any) stays as it was
// until the new one is complete. Place() then puts them in its place
// through the library, atomically; otherwise the destructor removes them.
// Temporary files that killed vrk processes left for this archive are
// removed first (TemporaryArchive.h).
#ifndef VRK_FRESH_ARCHIVE_H
#define VRK_FRESH_ARCHIVE_H

#include <string>
#include <vector>

namespace vrk {

class FreshArchive {
 public:
  // Throws a ToolError when the temporary archive cannot be created.
  FreshArchive(const std::string& path, bool advanced);
  ~FreshArchive();
  FreshArchive(const FreshArchive&) = delete;
  FreshArchive& operator=(const FreshArchive&) = delete;

  // Where to create the archive: beside it, hidden, ending as it must.
  const std::string& TemporaryPath() const { return temporary_; }
  // Replaces the archive at the final path with the complete new one, with
  // stop signals held back meanwhile.
  void Place();

 private:
  std::string final_;
  std::string temporary_;
  bool advanced_;
  int lock_ = -1;  // holds the temporary archive's in-use lock
  bool placed_ = false;
};

}  // namespace vrk

#endif
