#include "patch/PatchBuilderFactory.h"

namespace orvel {

// Patch building is not part of this build yet: no builder can be made.
IVrkPatchBuilder* NewPatchBuilderFor(IOrvelPacket*) { return nullptr; }

}  // namespace orvel
