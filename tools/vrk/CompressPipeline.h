// Parallel compression for create and add. Worker threads read the input
// files and compress each with LZO1X-999 while the main thread, the only one
// that calls the library, takes the results strictly in input order: the
// archive comes out the same for any number of workers.
#ifndef VRK_COMPRESS_PIPELINE_H
#define VRK_COMPRESS_PIPELINE_H

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "InputFiles.h"

namespace vrk {

// A file in the form it is stored in.
struct PackedFile {
  std::vector<unsigned char> bytes;  // the LZO1X stream, or the file itself
  uint32_t originalSize = 0;
  bool compressed = false;
  std::string error;  // set when the file could not be read
};

// Reads `path` whole; on failure returns false with a message in `error`.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out, std::string* error);

// Compresses `data` with LZO1X-999 unless that would not make it smaller (a
// quick LZO1X-1 trial settles clearly incompressible data without the slow
// compressor), or unless `store` is set.
class Packer {
 public:
  Packer();
  PackedFile Pack(std::vector<unsigned char> data, bool store);

 private:
  // False when an LZO1X-1 trial shows that the data does not shrink.
  bool MayShrink(const unsigned char* data, size_t n, unsigned char* scratch, size_t scratchSize);

  std::vector<unsigned char> work999_, work1_;
};

class CompressPipeline {
 public:
  CompressPipeline(const std::vector<InputFile>& files, unsigned jobs, bool store);
  ~CompressPipeline();
  CompressPipeline(const CompressPipeline&) = delete;
  CompressPipeline& operator=(const CompressPipeline&) = delete;

  // The stored form of files[index]; call with 0, 1, 2, ... in turn.
  PackedFile Take(size_t index);

 private:
  void Work();
  bool MayClaim(size_t index) const;

  const std::vector<InputFile>& files_;
  const bool store_;
  const size_t maxAhead_;
  std::mutex mutex_;
  std::condition_variable ready_, room_;
  std::vector<std::unique_ptr<PackedFile>> done_;
  size_t nextClaim_ = 0;
  size_t nextTake_ = 0;
  uint64_t bytesAhead_ = 0;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

// Default for --jobs: the number of cores.
unsigned DefaultJobs();

}  // namespace vrk

#endif
