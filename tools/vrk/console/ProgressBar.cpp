#include "console/ProgressBar.h"

#include <OrvelPacket.h>

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

namespace vrk {

std::string FormatBytes(uint64_t bytes) {
  char buf[32];
  if (bytes < 10000)
    std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(bytes));
  else if (bytes < 10000000)
    std::snprintf(buf, sizeof buf, "%.1f kB", bytes / 1e3);
  else if (bytes < 10000000000ull)
    std::snprintf(buf, sizeof buf, "%.1f MB", bytes / 1e6);
  else
    std::snprintf(buf, sizeof buf, "%.1f GB", bytes / 1e9);
  return buf;
}

namespace {

int TerminalWidth() {
  winsize ws{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
  return 80;
}

std::string FormatDuration(double seconds) {
  long s = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

ProgressBar* g_callbackBar = nullptr;

const char* PhaseName(int kind) {
  switch (kind) {
    case VRKCB_COMPACT: return "compacting";
    case VRKCB_MAKE_PATCH: return "building patch";
    case VRKCB_APPLY_PATCH: return "applying patch";
    case VRKCB_WRITE_BLOCK_TABLE: return "writing block table";
    default: return "writing hash table";
  }
}

template <int kKind>
int OnLibraryProgress(IOrvelPacket*, int total, int current) {
  if (g_callbackBar && total >= 0 && current >= 0)
    g_callbackBar->Phase(PhaseName(kKind), static_cast<uint64_t>(current),
                         static_cast<uint64_t>(total));
  return 0;
}

// The long operations whose callbacks drive the bar.
const std::pair<unsigned long, VrkCallback> kLibraryPhases[] = {
    {VRKCB_COMPACT, &OnLibraryProgress<VRKCB_COMPACT>},
    {VRKCB_MAKE_PATCH, &OnLibraryProgress<VRKCB_MAKE_PATCH>},
    {VRKCB_APPLY_PATCH, &OnLibraryProgress<VRKCB_APPLY_PATCH>},
    {VRKCB_WRITE_BLOCK_TABLE, &OnLibraryProgress<VRKCB_WRITE_BLOCK_TABLE>},
    {VRKCB_WRITE_HASH_TABLE, &OnLibraryProgress<VRKCB_WRITE_HASH_TABLE>},
};

}  // namespace

ProgressBar::ProgressBar(std::string label, uint64_t totalItems, uint64_t totalBytes, bool quiet)
    : label_(std::move(label)),
      totalItems_(totalItems),
      totalBytes_(totalBytes),
      enabled_(!quiet && isatty(STDERR_FILENO)),
      start_(std::chrono::steady_clock::now()),
      lastDraw_(start_) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Advance(uint64_t bytes) {
  if (!enabled_) return;
  ++items_;
  bytes_ += bytes;
  Draw(items_ == totalItems_);
}

void ProgressBar::ShowBytes(uint64_t bytes) {
  if (!enabled_) return;
  bytes_ = bytes;
  Draw(false);
}

void ProgressBar::Phase(const std::string& label, uint64_t current, uint64_t total) {
  if (!enabled_) return;
  bool changed = label != label_;
  if (changed) start_ = std::chrono::steady_clock::now();  // rate and time left per phase
  label_ = label;
  items_ = current;
  totalItems_ = total;
  bytes_ = totalBytes_ = 0;
  Draw(changed);
}

void ProgressBar::Draw(bool force) {
  auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  double elapsed = std::chrono::duration<double>(now - start_).count();

  double fraction = 0;
  if (totalBytes_ > 0)
    fraction = static_cast<double>(bytes_) / static_cast<double>(totalBytes_);
  else if (totalItems_ > 0)
    fraction = static_cast<double>(items_) / static_cast<double>(totalItems_);
  if (fraction > 1) fraction = 1;

  std::string tail = " " + std::to_string(items_) + "/" + std::to_string(totalItems_);
  if (totalBytes_ > 0) {
    tail += "  " + FormatBytes(bytes_) + "/" + FormatBytes(totalBytes_);
    if (elapsed > 0.2) tail += "  " + FormatBytes(static_cast<uint64_t>(bytes_ / elapsed)) + "/s";
  }
  if (elapsed > 0.5 && fraction > 0.01 && fraction < 1)
    tail += "  " + FormatDuration(elapsed * (1 - fraction) / fraction) + " left";

  int width = TerminalWidth() - 1;
  int barWidth = width - static_cast<int>(label_.size() + tail.size()) - 4;
  std::string line = label_;
  if (barWidth >= 10) {
    int filled = static_cast<int>(fraction * barWidth);
    line += " [" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
  }
  line += tail;
  if (static_cast<int>(line.size()) > width) line.resize(width);
  std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (enabled_ && drawn_) {
    std::fprintf(stderr, "\r\x1b[K");
    std::fflush(stderr);
  }
  drawn_ = false;
}

LibraryProgress::LibraryProgress(ProgressBar& bar) {
  g_callbackBar = &bar;
  for (const auto& [kind, callback] : kLibraryPhases) SetVrkCallback(kind, callback);
}

LibraryProgress::~LibraryProgress() {
  for (const auto& phase : kLibraryPhases) SetVrkCallback(phase.first, nullptr);
  g_callbackBar = nullptr;
}

}  // namespace vrk
