// Walks what a salvage gives back: every entry whose bytes read, with them.
#ifndef ORVEL_TEST_SALVAGE_WALK_H
#define ORVEL_TEST_SALVAGE_WALK_H

#include <gtest/gtest.h>

#include <string>

#include "orvel/VrkSalvage.h"

namespace orvel_test {

// Calls visit(entry, bytes) for each entry of `salvage` that reads; entries
// that do not read are skipped, as a user of salvage skips them.
template <class Visit>
void ForEachSalvaged(CVrkSalvage& salvage, Visit visit) {
  for (unsigned i = 0; i < salvage.GetEntryCount(); ++i) {
    VrkSalvageEntry e;
    EXPECT_EQ(salvage.GetEntry(i, &e), 1);
    void* data = nullptr;
    if (salvage.ReadEntry(i, 1, &data) != VRK_SALVAGE_OK) continue;
    const std::string bytes(static_cast<const char*>(data), e.originalSize);
    salvage.FreeBuffer(data);
    visit(e, bytes);
  }
}

}  // namespace orvel_test

#endif
