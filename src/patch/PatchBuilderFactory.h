// Construction of patch builders for the entry object.
#ifndef ORVEL_PATCH_PATCH_BUILDER_FACTORY_H
#define ORVEL_PATCH_PATCH_BUILDER_FACTORY_H

class IOrvelPacket;
class IVrkPatchBuilder;

namespace orvel {

// A patch builder bound to an advanced archive, or null.
IVrkPatchBuilder* NewPatchBuilderFor(IOrvelPacket* advancedPacket);

}  // namespace orvel

#endif
