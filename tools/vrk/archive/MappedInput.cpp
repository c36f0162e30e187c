#include "archive/MappedInput.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vrk {
namespace {

constexpr size_t kPage = 4096;

}  // namespace

std::string TooLargeReason() { return "too large for an archive (files must stay below 4 GiB)"; }

MappedInput::MappedInput(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error_ = path + ": " + std::strerror(errno);
    return;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error_ = path + ": not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > kMaxFileSize) {
    error_ = path + ": " + TooLargeReason();
  } else if (st.st_size > 0) {
    size_ = static_cast<size_t>(st.st_size);
    void* p = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
      error_ = path + ": " + std::strerror(errno);
      size_ = 0;
    } else {
      data_ = static_cast<unsigned char*>(p);
      madvise(p, size_, MADV_SEQUENTIAL);
    }
  }
  close(fd);
}

MappedInput::~MappedInput() {
  if (data_) munmap(data_, size_);
}

void MappedInput::ReleaseBefore(size_t offset) {
  const size_t end = offset / kPage * kPage;
  if (!data_ || end <= released_) return;
  madvise(data_ + released_, end - released_, MADV_DONTNEED);
  released_ = end;
}

}  // namespace vrk
