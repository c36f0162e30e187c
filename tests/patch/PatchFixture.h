// Shared setup of the patch tests: a source archive at level 1 in a scratch
// directory, a copy of it as the target, and builders and patchers made
// through the entry object.
#ifndef ORVEL_TESTS_PATCH_PATCH_FIXTURE_H
#define ORVEL_TESTS_PATCH_PATCH_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "common/PacketTestUtil.h"
#include "common/TempDir.h"
#include "frame/Callbacks.h"
#include "orvel/CVrkPatcher.h"
#include "orvel/IVrkPatchBuilder.h"
#include "orvel/IVrkSystem.h"

namespace orvel_test {

struct PacketFree {
  void operator()(IOrvelPacket* p) const { g_piVrkSystem->FreePacket(p); }
};
struct BuilderFree {
  void operator()(IVrkPatchBuilder* b) const { g_piVrkSystem->FreePatchBuilder(b); }
};
using PacketPtr = std::unique_ptr<IOrvelPacket, PacketFree>;
using BuilderPtr = std::unique_ptr<IVrkPatchBuilder, BuilderFree>;

// An archive with its builder and patcher.
struct Side {
  PacketPtr packet;
  BuilderPtr builder;
  std::unique_ptr<CVrkPatcher> patcher;

  explicit Side(IOrvelPacket* p)
      : packet(p),
        builder(p ? g_piVrkSystem->NewPatchBuilder(p) : nullptr),
        patcher(new CVrkPatcher(packet.get(), builder.get())) {}
  IOrvelPacket& operator*() const { return *packet; }
  IOrvelPacket* operator->() const { return packet.get(); }
};

class PatchTest : public ::testing::Test {
 public:
  // Writes files in one bracket; each at level `level`.
  static void Write(Side& s, unsigned level,
                    std::initializer_list<std::pair<const char*, std::string>> files,
                    unsigned flags = 1) {
    s->BeginUpdate();
    for (const auto& f : files) EXPECT_EQ(Add(*s, f.first, f.second, flags, 0, level), 0);
    EXPECT_EQ(s->EndUpdate(), 0);
  }
  static unsigned Level(IOrvelPacket& p) {
    unsigned low = 0;
    p.GetPacketVersion(nullptr, &low, nullptr);
    return low;
  }

 protected:
  void TearDown() override { orvel::ResetCallbacks(); }

  std::string Src(const char* ext = ".vrk") const { return tmp_ / (std::string("data") + ext); }
  std::string Dst(const char* ext = ".vrk") const {
    return tmp_ / (std::string("copy/data") + ext);
  }
  std::string Block(unsigned level, const std::string& base = "data") const {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%08x.pb", level);
    return tmp_ / (base + suffix);
  }

  // A new advanced archive at (0, level 1) holding "base.txt".
  Side CreateSource() {
    IOrvelPacket* p = g_piVrkSystem->NewPacket(Src().c_str(), 8, 32, 64, 0, 1);
    EXPECT_NE(p, nullptr) << g_nVrkErrCode;
    Side s(p);
    s->BeginUpdate();
    EXPECT_EQ(Add(*s, "base.txt", Text(300, 1), 1), 0);
    EXPECT_EQ(s->EndUpdate(), 0);
    return s;
  }
  // Copies the source's three files to copy/.
  void CopySource() const {
    std::filesystem::create_directories(tmp_ / "copy");
    for (const char* ext : {".vrk", ".bhl", ".lst"})
      std::filesystem::copy_file(Src(ext), Dst(ext),
                                 std::filesystem::copy_options::overwrite_existing);
  }
  static Side Open(const std::string& path) { return Side(g_piVrkSystem->LoadPacket(path.c_str())); }

  int Apply(Side& s) const {
    std::string patch = Src(".vrx");
    return s.patcher->ProceedPatch(&patch[0]);
  }

  TempDir tmp_;
};

}  // namespace orvel_test

#endif
