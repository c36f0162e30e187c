// An advanced archive opened at a URL asks for the first bytes of its list
// side file at open and fetches the rest when names are first used; a fetch
// that fails then fails that use as a damaged list does, and a later use
// reads the names.
#include "advance/AdvanceFixture.h"
#include "common/FaultServer.h"

namespace orvel_test {
namespace {

TEST_F(AdvanceTest, RemoteNamesAreFetchedAtFirstUse) {
  FaultServer server;
  if (!server.Running()) GTEST_SKIP() << "no loopback socket for the test server";
  // Names that compress badly, so that the list runs well past the open's
  // first bytes.
  Packet built = Create(8, 2048);
  built->BeginUpdate();
  for (unsigned i = 0; i < 1200; ++i) AddText(built.get(), "n" + std::to_string(i * 2654435761u), "x");
  ASSERT_EQ(built->EndUpdate(), 0);
  built.reset();
  ASSERT_GT(Bytes(".lst").size(), 8192u);
  for (const char* ext : {".vrk", ".bhl", ".lst"})
    server.Put(std::string("a") + ext, Bytes(ext));
  const auto listRanges = [&server] {
    std::vector<std::string> ranges;
    for (const LoggedRequest& r : server.Log())
      if (r.path.size() > 4 && r.path.compare(r.path.size() - 4, 4, ".lst") == 0)
        ranges.push_back(r.range);
    return ranges;
  };

  Packet p(new orvel::CVrkAdvance());
  ASSERT_EQ(p->OpenPacket(server.Url("a.vrk").c_str()), 1) << g_nVrkErrCode;
  EXPECT_EQ(listRanges(), std::vector<std::string>{"bytes=0-4095"});
  EXPECT_EQ(ReadAll(*p, "n0"), "x") << "lookups need no names";
  EXPECT_EQ(listRanges().size(), 1u);

  char name[32];
  server.Inject(".lst", Fault::kStatus500, 5);
  EXPECT_EQ(p->GetFileName(2, name, sizeof name), VRKERR_LIST_FILE_IO);
  EXPECT_FALSE(p->NamesLoaded());
  EXPECT_EQ(p->GetFileName(2, name, sizeof name), 0) << "the next use fetches them";
  EXPECT_STREQ(name, ("n" + std::to_string(2654435761u)).c_str());
  EXPECT_EQ(p->NameCount(), 1201u);
}

}  // namespace
}  // namespace orvel_test
