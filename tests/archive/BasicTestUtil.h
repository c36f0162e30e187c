// Shared helpers of the basic archive tests: access to the object's tables,
// archive construction, and byte-level access to archive files.
#ifndef ORVEL_TESTS_ARCHIVE_BASIC_TEST_UTIL_H
#define ORVEL_TESTS_ARCHIVE_BASIC_TEST_UTIL_H

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "archive/BasicPacket.h"
#include "common/PacketTestUtil.h"
#include "common/TempDir.h"

namespace orvel {

struct BasicPacketTestAccess {
  static basic::PacketHeader& Header(COrvelPacket& p) { return *p.m_pHeader; }
  static basic::HashEntry* Hashes(COrvelPacket& p) { return p.m_pHashTable; }
  static basic::BlockEntry* Blocks(COrvelPacket& p) { return p.m_pBlockTable; }
  static bool Loaded(const COrvelPacket& p) { return p.m_pHeader != nullptr; }
  static basic::BlockEntry* ListBlock(COrvelPacket& p) { return p.ListFileBlock(); }
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

// Block index of the file stored under hash0 `hash0` (a file added by hashes
// has no name to look it up by), or 0xFFFFFFFF.
inline unsigned BlockOfHash(orvel::COrvelPacket& p, uint32_t hash0) {
  for (uint32_t i = 0; i < Access::Header(p).tableSize; ++i)
    if (Access::Hashes(p)[i].hash0 == hash0) return Access::Hashes(p)[i].blockIndex;
  return 0xFFFFFFFFu;
}

}  // namespace orvel_test

#endif
