// Damaged and hostile archive files: truncation, flipped bytes and absurd
// values must fail the open (-6 where the structure breaks, the read codes
// where a table reads short) or fail single reads, and never touch memory
// outside the tables. Meant to run under the sanitizers as well.
#include <gtest/gtest.h>

#include <set>

#include "BasicTestUtil.h"

using namespace orvel_test;

namespace {

const std::set<int> kOpenFailures = {VRKERR_BAD_SIGNATURE, VRKERR_NO_HEADER, VRKERR_BLOCK_TABLE_IO,
                                     VRKERR_NO_HASH_TABLE, VRKERR_NO_LIST_FILE};

std::string BuildSample(const std::string& path, unsigned flags) {
  Packet p = NewCreated(path, 8, flags);
  p->BeginUpdate();
  for (int i = 0; i < 5; ++i) {
    const std::string name = "file" + std::to_string(i);
    const std::string data = Text(100 + 37 * i, char(i));
    EXPECT_EQ(p->AddFileFromMemory(name.c_str(), i % 2, data.data(), unsigned(data.size()), 0, 0),
              0);
  }
  EXPECT_EQ(p->DeleteFile("file0"), 0);  // the ring head moves: ringFirst 1
  EXPECT_EQ(p->EndUpdate(), 0);
  return ReadFileBytes(path);
}

// Opens `bytes`; on success exercises every read, an update and compaction.
// Returns the open's error code (0 when it opened).
int Exercise(const std::string& path, const std::string& bytes) {
  WriteFileBytes(path, bytes);
  orvel::COrvelPacket p;
  if (!p.OpenPacket(path.c_str())) {
    EXPECT_FALSE(Access::Loaded(p));
    return g_nVrkErrCode;
  }
  char buffer[512];
  for (int i = 0; i < 6; ++i) {
    const std::string name = "file" + std::to_string(i);
    unsigned size = 0;
    void* data = p.ReadFileAlloc(name.c_str(), &size, 0xFFFFFFFF);
    if (data) {
      p.FreeBuffer(data);
    } else {
      EXPECT_NE(g_nVrkErrCode, 0);
    }
    // A file larger than the buffer returns 0 and leaves the lookup's 0.
    const bool fits = p.GetFileOriginalSize(name.c_str()) <= sizeof buffer &&
                      p.GetFileStoredSize(name.c_str()) <= sizeof buffer;
    const int got = p.ReadFileTo(name.c_str(), buffer, sizeof buffer, 0xFFFFFFFF);
    if (got == 0 && fits) {
      EXPECT_NE(g_nVrkErrCode, 0) << name;
    }
    p.ReadFileRaw(name.c_str(), buffer, sizeof buffer);
  }
  for (unsigned index = 0; index < 10; ++index) {
    void* data = p.ReadFileAlloc(nullptr, nullptr, index);
    if (data) p.FreeBuffer(data);
    p.GetFileName(index, buffer, sizeof buffer);
  }
  p.BeginUpdate();
  p.AddFileFromMemory("new", 1, "new data new data", 17, 0, 0);
  p.DeleteFile("file3");
  p.AddFileFromMemory("file2", 2, "again", 5, 0, 0);
  p.EndUpdate();
  p.CompactPacket();
  return 0;
}

TEST(BasicRobustness, TruncatedFilesFailTheOpen) {
  TempDir dir;
  const std::string bytes = BuildSample(dir / "s.vrk", 0);
  const std::string path = dir / "t.vrk";
  for (size_t n = 0; n < bytes.size(); ++n) {
    const int rc = Exercise(path, bytes.substr(0, n));
    const int expect = n < 8 ? VRKERR_BAD_SIGNATURE : n < 48 ? VRKERR_NO_HEADER : rc;
    EXPECT_EQ(rc, expect) << n;
    EXPECT_TRUE(kOpenFailures.count(rc)) << n << " " << rc;
  }
  EXPECT_EQ(Exercise(path, bytes), 0);
}

TEST(BasicRobustness, FlippedBytesInHeaderAndTables) {
  for (unsigned flags : {0u, 2u}) {
    TempDir dir;
    const std::string bytes = BuildSample(dir / "s.vrk", flags);
    const std::string path = dir / "f.vrk";
    const size_t tables = Word(bytes, kBlockTableOffset);
    int opened = 0;
    for (size_t at = 8; at < bytes.size(); ++at) {
      if (at == 48) at = tables;
      for (unsigned char mask : {0x01, 0xFF}) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ mask);
        const int rc = Exercise(path, damaged);
        if (rc == 0) {
          ++opened;
        } else {
          EXPECT_TRUE(kOpenFailures.count(rc)) << at << " " << rc;
        }
      }
    }
    // Changed hash values or stamps, for instance, still open.
    EXPECT_GT(opened, 0);
  }
}

TEST(BasicRobustness, FlippedStoredBytesFailOnlyTheirRead) {
  TempDir dir;
  const std::string bytes = BuildSample(dir / "s.vrk", 0);
  const std::string path = dir / "d.vrk";
  for (size_t at = 48; at < Word(bytes, kBlockTableOffset); at += 7) {
    std::string damaged = bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
    const int rc = Exercise(path, damaged);
    EXPECT_TRUE(rc == 0 || rc == VRKERR_NO_LIST_FILE) << at << " " << rc;
  }
}

struct Patch {
  size_t offset;  // file offset of the word
  uint32_t value;
  int expect;
};

TEST(BasicRobustness, AbsurdHeaderValues) {
  TempDir dir;
  const std::string bytes = BuildSample(dir / "s.vrk", 0);
  const std::string path = dir / "a.vrk";
  const Patch patches[] = {
      {kTableSize, 0, VRKERR_BAD_SIGNATURE},
      {kTableSize, 1, VRKERR_BAD_SIGNATURE},
      {kTableSize, 3, VRKERR_BAD_SIGNATURE},
      {kTableSize, 16, VRKERR_NO_HASH_TABLE},  // a larger table reads short
      {kTableSize, 1u << 27, VRKERR_BAD_SIGNATURE},
      {kTableSize, 0xFFFFFFFFu, VRKERR_BAD_SIGNATURE},
      {kFileCount, 9, VRKERR_BAD_SIGNATURE},
      {kFileCount, 0xFFFFFFFFu, VRKERR_BAD_SIGNATURE},
      {kRingFirst, 8, VRKERR_BAD_SIGNATURE},
      {kRingNext, 0, VRKERR_BAD_SIGNATURE},
      {kBlockTableOffset, 4, VRKERR_BAD_SIGNATURE},
      {kHashTableOffset, 0, VRKERR_BAD_SIGNATURE},
      {kBlockTableOffset, 0xFFFFFF00u, VRKERR_BLOCK_TABLE_IO},
      {kHashTableOffset, 0xFFFFFF00u, VRKERR_NO_HASH_TABLE},
  };
  for (const Patch& patch : patches) {
    std::string damaged = bytes;
    PutWord(damaged, patch.offset, patch.value);
    EXPECT_EQ(Exercise(path, damaged), patch.expect) << patch.offset << " " << patch.value;
  }
}

TEST(BasicRobustness, AbsurdTableEntries) {
  TempDir dir;
  const std::string bytes = BuildSample(dir / "s.vrk", 0);
  const std::string path = dir / "e.vrk";
  const size_t blocks = Word(bytes, kBlockTableOffset);
  const size_t hashes = Word(bytes, kHashTableOffset);
  // The first used hash entry and the first stored block entry.
  size_t used = hashes;
  while (Word(bytes, used + 12) == 0xFFFFFFFFu) used += 20;
  const Patch patches[] = {
      {blocks + 0, 0, VRKERR_BAD_SIGNATURE},            // offset inside the header
      {blocks + 0, 0xFFFFFFF0u, VRKERR_BAD_SIGNATURE},  // offset past the end
      {blocks + 4, 0x7FFFFFFFu, VRKERR_BAD_SIGNATURE},  // extent past the end
      {blocks + 16, 8, VRKERR_BAD_SIGNATURE},           // hashIndex out of range
      {used + 12, 0, VRKERR_BAD_SIGNATURE},             // blockIndex of a free block
      {used + 12, 100, VRKERR_BAD_SIGNATURE},           // blockIndex out of range
      {used + 16, 7, VRKERR_BAD_SIGNATURE},             // next to a free or wrong entry
      {used + 16, static_cast<uint32_t>((used - hashes) / 20), VRKERR_BAD_SIGNATURE},  // cycle
      {used + 16, 1000, VRKERR_BAD_SIGNATURE},
  };
  for (const Patch& patch : patches) {
    std::string damaged = bytes;
    PutWord(damaged, patch.offset, patch.value);
    EXPECT_EQ(Exercise(path, damaged), patch.expect) << patch.offset - hashes << " " << patch.value;
  }
  // A free entry with a stray word.
  std::string damaged = bytes;
  size_t free = hashes;
  while (Word(bytes, free + 12) != 0xFFFFFFFFu) free += 20;
  PutWord(damaged, free + 16, 0);
  EXPECT_EQ(Exercise(path, damaged), VRKERR_BAD_SIGNATURE);
}

}  // namespace
