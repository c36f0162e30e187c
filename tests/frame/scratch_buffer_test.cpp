#include "frame/ScratchBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TempDir.h"

using namespace orvel;

// Room lies `bias` past the file offset modulo a page, whatever the size;
// placed reads give the file's bytes at every distance from the offset,
// staged or not, and leave the bytes around the destination alone.
TEST(ScratchBuffer, PlacesRoomByOffsetAndReadsAtAnyDistance) {
  ScratchBuffer scratch;
  for (uint32_t size : {1u, 5000u, 200000u}) {
    for (uint32_t offset : {0u, 13u, 4095u, 70001u}) {
      unsigned char* room = scratch.For(size, offset, 100);
      ASSERT_NE(room, nullptr);
      EXPECT_EQ((reinterpret_cast<uintptr_t>(room) - offset) % 4096, 100u);
    }
  }

  orvel_test::TempDir tmp;
  std::string bytes(20000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  orvel_test::WriteFileBytes(tmp / "f", bytes);
  FileHandle f = OpenDiskFile((tmp / "f").c_str(), kModeReadShared);
  std::vector<unsigned char> out(4096 + 6000 + 2);
  const uint32_t offset = 1234, count = 6000;
  for (uint32_t distance = 0; distance < 80; ++distance) {
    // The destination `distance` bytes past the offset modulo a page.
    const uintptr_t base = reinterpret_cast<uintptr_t>(out.data()) + 1;
    unsigned char* to = out.data() + 1 + ((offset + distance - base) & 4095);
    std::fill(out.begin(), out.end(), 0xEE);
    ASSERT_EQ(scratch.ReadPlaced(f, to, count, offset), count) << distance;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(to), count), bytes.substr(offset, count));
    EXPECT_TRUE(to[-1] == 0xEE && to[count] == 0xEE) << distance;
  }
  EXPECT_EQ(scratch.ReadPlaced(f, out.data(), count, 19000), 1000u);  // short at the end
  CloseDiskFile(f);
}
