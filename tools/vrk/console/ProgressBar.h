// A one-line progress bar on standard error: files done, bytes, rate and time
// left. It draws only when standard error is a terminal and the user did not
// ask for quiet; otherwise every call is a no-op.
#ifndef VRK_PROGRESS_BAR_H
#define VRK_PROGRESS_BAR_H

#include <chrono>
#include <cstdint>
#include <string>

namespace vrk {

class ProgressBar {
 public:
  ProgressBar(std::string label, uint64_t totalItems, uint64_t totalBytes, bool quiet);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool Enabled() const { return enabled_; }
  // One more item of `bytes` bytes is done.
  void Advance(uint64_t bytes);
  // So many bytes are done in all, inside items too.
  void ShowBytes(uint64_t bytes);
  // Switches to a new phase counted in steps (the library's callbacks).
  void Phase(const std::string& label, uint64_t current, uint64_t total);
  // Clears the line.
  void Finish();

 private:
  void Draw(bool force);

  std::string label_;
  uint64_t totalItems_, totalBytes_;
  uint64_t items_ = 0, bytes_ = 0;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, lastDraw_;
};

// While alive, the library's progress callbacks for compaction, building and
// applying patches, and table writing (kinds 4, 6, 7, 8 and 9) drive `bar`.
// One at a time.
class LibraryProgress {
 public:
  explicit LibraryProgress(ProgressBar& bar);
  ~LibraryProgress();
  LibraryProgress(const LibraryProgress&) = delete;
  LibraryProgress& operator=(const LibraryProgress&) = delete;
};

// "12.3 MB".
std::string FormatBytes(uint64_t bytes);

}  // namespace vrk

#endif
