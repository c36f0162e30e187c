// Shared helpers of the basic archive tests: access to the object's tables,
// archive construction, and byte-level access to archive files.
#ifndef ORVEL_TESTS_ARCHIVE_BASIC_TEST_UTIL_H
#define ORVEL_TESTS_ARCHIVE_BASIC_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/BasicPacket.h"
#include "common/TempDir.h"
#include "orvel/VrkErrors.h"

namespace orvel {

struct BasicPacketTestAccess {
  static basic::PacketHeader& Header(COrvelPacket& p) { return *p.m_pHeader; }
  static basic::HashEntry* Hashes(COrvelPacket& p) { return p.m_pHashTable; }
  static basic::BlockEntry* Blocks(COrvelPacket& p) { return p.m_pBlockTable; }
  static bool Loaded(const COrvelPacket& p) { return p.m_pHeader != nullptr; }
  static std::string ListText(const COrvelPacket& p) {
    return p.m_szListText ? std::string(p.m_szListText, p.m_nListLength) : std::string();
  }
};

}  // namespace orvel

namespace orvel_test {

using Access = orvel::BasicPacketTestAccess;
using Packet = std::unique_ptr<orvel::COrvelPacket>;
using Words = std::vector<uint32_t>;

inline Packet NewCreated(const std::string& path, unsigned tableSize = 8, unsigned flags = 0,
                         unsigned versionHigh = 0, unsigned versionLow = 1) {
  Packet p(new orvel::COrvelPacket);
  EXPECT_EQ(p->CreatePacket(path.c_str(), flags, tableSize, versionHigh, versionLow), 1);
  return p;
}

// An archive that does not open ends the test (as a failure) rather than
// letting it reach into tables that are not there.
inline Packet NewOpened(const std::string& path) {
  Packet p(new orvel::COrvelPacket);
  if (!p->OpenPacket(path.c_str()))
    throw std::runtime_error(path + " does not open: " + std::to_string(g_nVrkErrCode));
  return p;
}

inline int Add(orvel::COrvelPacket& p, const std::string& name, const std::string& data,
               unsigned flags = 0, unsigned versionHigh = 0, unsigned versionLow = 0) {
  return p.AddFileFromMemory(name.c_str(), flags, data.data(), static_cast<unsigned>(data.size()),
                             versionHigh, versionLow);
}

inline uint32_t Word(const std::string& bytes, size_t offset) {
  uint32_t w = 0;
  std::memcpy(&w, bytes.data() + offset, 4);
  return w;
}

inline Words WordsAt(const std::string& bytes, size_t offset, size_t count) {
  Words w(count);
  for (size_t i = 0; i < count; ++i) w[i] = Word(bytes, offset + 4 * i);
  return w;
}

inline void PutWord(std::string& bytes, size_t offset, uint32_t w) {
  std::memcpy(&bytes[offset], &w, 4);
}

// Header words by file offset.
enum : size_t { kFileSize = 8, kFlags = 20, kBlockTableOffset = 24, kFileCount = 28 };
enum : size_t { kRingFirst = 32, kRingNext = 36, kHashTableOffset = 40, kTableSize = 44 };

inline std::string Text(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 23);
  return s;
}

// Reads a whole file back through ReadFileAlloc.
inline std::string ReadAll(orvel::COrvelPacket& p, const char* name,
                           unsigned blockIndex = 0xFFFFFFFFu) {
  unsigned size = 0;
  void* data = p.ReadFileAlloc(name, &size, blockIndex);
  if (!data) return "<null>";
  std::string s(static_cast<const char*>(data), size);
  p.FreeBuffer(data);
  return s;
}

// Block index of the file stored under hash0 `hash0` (a file added by hashes
// has no name to look it up by), or 0xFFFFFFFF.
inline unsigned BlockOfHash(orvel::COrvelPacket& p, uint32_t hash0) {
  for (uint32_t i = 0; i < Access::Header(p).tableSize; ++i)
    if (Access::Hashes(p)[i].hash0 == hash0) return Access::Hashes(p)[i].blockIndex;
  return 0xFFFFFFFFu;
}

}  // namespace orvel_test

#endif
