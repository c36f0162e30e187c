// Parallel compression for create and add. Worker threads map the input
// files and compress each with LZO1X-999 while the main thread, the only one
// that calls the library, takes the results strictly in input order: the
// archive comes out the same for any number of workers.
#ifndef VRK_COMPRESS_PIPELINE_H
#define VRK_COMPRESS_PIPELINE_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Lzo1x999Compress.h"
#include "archive/ByteBuffer.h"
#include "tree/InputFiles.h"
#include "archive/MappedInput.h"

namespace vrk {

// A file in the form it is stored in: its LZO1X stream, or the mapped file.
struct PackedFile {
  ByteBuffer stream;
  std::shared_ptr<MappedInput> input;  // kept as it is when not compressed
  uint32_t originalSize = 0;
  bool compressed = false;
  std::string error;  // set when the file could not be read

  const unsigned char* Data() const { return input ? input->Data() : stream.Data(); }
  size_t Size() const { return input ? input->Size() : stream.Size(); }
};

// Compresses with LZO1X-999 unless that would not make the data smaller (a
// quick LZO1X-1 trial settles clearly incompressible data without the slow
// compressor), or unless `store` is set. `level` (1 to 9) is LZO1X-999's
// effort; the default, 8, gives the bytes the library itself writes.
constexpr int kDefaultPackLevel = orvel::kLzo999DefaultLevel;
class Packer {
 public:
  explicit Packer(int level = kDefaultPackLevel);
  // Adds the input bytes it has worked through to `*progress` as it goes.
  PackedFile Pack(std::shared_ptr<MappedInput> input, bool store,
                  std::atomic<uint64_t>* progress);
  // Bytes in memory (the tree record), compressed with LZO1X-1: the record
  // is made after the files, on the one thread that writes, where LZO1X-999
  // would cost a quarter of a second on a tree of 20,000 files to save a few
  // hundredths of a percent of the archive.
  PackedFile PackQuickly(const std::string& bytes);

 private:
  bool Compress(const unsigned char* data, size_t n, ByteBuffer* stream, MappedInput* input,
                std::atomic<uint64_t>* progress);
  // False when an LZO1X-1 trial shows that the data does not shrink.
  bool MayShrink(const unsigned char* data, size_t n, MappedInput* input);

  orvel::Lzo1x999Compressor compressor_;
  std::vector<unsigned char> work1_, trial_;
  int level_;
};

class CompressPipeline {
 public:
  CompressPipeline(const std::vector<InputFile>& files, unsigned jobs, bool store,
                   int level = kDefaultPackLevel);
  // Joins the workers, or leaves them to the process's end when a stop
  // signal came or an exception is on its way (a large file may take
  // minutes to compress).
  ~CompressPipeline();
  CompressPipeline(const CompressPipeline&) = delete;
  CompressPipeline& operator=(const CompressPipeline&) = delete;

  // The stored form of files[index]; call with 0, 1, 2, ... in turn. While
  // it waits, `tick` runs about ten times a second; it may throw.
  PackedFile Take(size_t index, const std::function<void()>& tick);
  // Input bytes the workers have worked through, inside files too.
  uint64_t BytesDone() const;

 private:
  struct State;
  static void Work(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  std::vector<std::thread> workers_;
};

// Default for --jobs: the number of cores.
unsigned DefaultJobs();

}  // namespace vrk

#endif
