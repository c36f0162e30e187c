// Archive helpers shared by the tests of both variants: adds, whole-file
// reads, and names chosen by their home slot.
#ifndef ORVEL_TESTS_COMMON_PACKET_TEST_UTIL_H
#define ORVEL_TESTS_COMMON_PACKET_TEST_UTIL_H

#include "codec/NameHash.h"
#include "common/TestData.h"
#include "orvel/IOrvelPacket.h"
#include "orvel/VrkErrors.h"

namespace orvel_test {

// The next `count` names "<prefix><n>" whose home slot in a table of `size` is `home`.
inline std::vector<std::string> NamesAtHome(uint32_t home, uint32_t size, size_t count,
                                            const std::string& prefix = "h") {
  static const std::vector<unsigned> table = [] {
    std::vector<unsigned> t(orvel::kCryptTableWords);
    orvel::InitCryptTable(t.data());
    return t;
  }();
  std::vector<std::string> out;
  for (int i = 0; out.size() < count; ++i) {
    const std::string n = prefix + std::to_string(i);
    if ((orvel::HashName(n.c_str(), table.data(), 0) & (size - 1)) == home) out.push_back(n);
  }
  return out;
}

inline int Add(IOrvelPacket& p, const std::string& name, const std::string& data,
               unsigned flags = 0, unsigned versionHigh = 0, unsigned versionLow = 0) {
  return p.AddFileFromMemory(name.c_str(), flags, data.data(), static_cast<unsigned>(data.size()),
                             versionHigh, versionLow);
}

// The file's contents, or "<code>" when the read fails; looked up by name
// unless `blockIndex` names the block.
inline std::string ReadAll(IOrvelPacket& p, const char* name, unsigned blockIndex = 0xFFFFFFFFu) {
  unsigned size = 0;
  void* data = p.ReadFileAlloc(name, &size, blockIndex);
  if (!data) return "<" + std::to_string(g_nVrkErrCode) + ">";
  std::string s(static_cast<const char*>(data), size);
  p.FreeBuffer(data);
  return s;
}

}  // namespace orvel_test

#endif
