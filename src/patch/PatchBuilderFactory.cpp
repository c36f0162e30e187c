#include "patch/PatchBuilderFactory.h"

#include "advance/VrkAdvance.h"
#include "patch/VrkAdvBuilder.h"

namespace orvel {

IVrkPatchBuilder* NewPatchBuilderFor(IOrvelPacket* packet) {
  auto* advanced = dynamic_cast<CVrkAdvance*>(packet);
  if (!advanced) return nullptr;
  return new CVrkAdvBuilder(advanced);
}

}  // namespace orvel
