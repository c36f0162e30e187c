// Shared setup of the advanced archive tests: a scratch directory, archive
// objects made and freed through the allocation rule, and raw access to the
// three files.
#ifndef ORVEL_TESTS_ADVANCE_ADVANCE_FIXTURE_H
#define ORVEL_TESTS_ADVANCE_ADVANCE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "advance/VrkAdvance.h"
#include "codec/checksum_crc.h"
#include "common/TempDir.h"
#include "frame/Callbacks.h"
#include "orvel/VrkErrors.h"

namespace orvel_test {

struct PacketDeleter {
  void operator()(orvel::CVrkAdvance* p) const { delete p; }
};
using Packet = std::unique_ptr<orvel::CVrkAdvance, PacketDeleter>;

inline uint32_t Word(const std::string& bytes, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

inline void PutWord(std::string* bytes, size_t offset, uint32_t v) {
  std::memcpy(&(*bytes)[offset], &v, 4);
}

inline std::string Text(size_t n, char seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed) % 13);
  return s;
}

class AdvanceTest : public ::testing::Test {
 protected:
  void TearDown() override { orvel::ResetCallbacks(); }

  std::string Path(const char* ext = ".vrk") const { return tmp_ / (std::string("pack") + ext); }

  Packet Create(unsigned flags = 8, unsigned tableSize = 16, unsigned vh = 0,
                unsigned vl = 1) {
    Packet p(new orvel::CVrkAdvance());
    EXPECT_EQ(p->CreatePacket(Path().c_str(), flags, tableSize, vh, vl), 1) << g_nVrkErrCode;
    return p;
  }

  Packet Open() {
    Packet p(new orvel::CVrkAdvance());
    EXPECT_EQ(p->OpenPacket(Path().c_str()), 1) << g_nVrkErrCode;
    return p;
  }

  // Opens and returns the error code (0 when it opened).
  int OpenCode() {
    Packet p(new orvel::CVrkAdvance());
    return p->OpenPacket(Path().c_str()) ? 0 : g_nVrkErrCode;
  }

  static void AddText(orvel::CVrkAdvance* p, const std::string& name,
                      const std::string& data, unsigned flags = 0, unsigned vl = 0) {
    ASSERT_EQ(p->AddFileFromMemory(name.c_str(), flags, data.data(),
                                   static_cast<unsigned>(data.size()), 0, vl), 0);
  }

  static std::string Read(orvel::CVrkAdvance* p, const char* name) {
    unsigned size = 0;
    void* data = p->ReadFileAlloc(name, &size, 0xFFFFFFFFu);
    if (!data) return "<" + std::to_string(g_nVrkErrCode) + ">";
    std::string s(static_cast<char*>(data), size);
    p->FreeBuffer(data);
    return s;
  }

  std::string Bytes(const char* ext) const { return ReadFileBytes(Path(ext)); }

  TempDir tmp_;
};

}  // namespace orvel_test

#endif
