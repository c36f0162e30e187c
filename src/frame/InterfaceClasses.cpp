// Out-of-line special members of the exported interfaces, so that their
// constructors, destructors, assignment operators, virtual tables and type
// information are emitted once, here, and exported.
#include "orvel/IOrvelPacket.h"
#include "orvel/IVrkPatchBuilder.h"
#include "orvel/IVrkSystem.h"

IOrvelPacket::IOrvelPacket() {}
IOrvelPacket::IOrvelPacket(const IOrvelPacket&) {}
IOrvelPacket::~IOrvelPacket() {}
IOrvelPacket& IOrvelPacket::operator=(const IOrvelPacket&) { return *this; }

IVrkPatchBuilder::IVrkPatchBuilder() {}
IVrkPatchBuilder::IVrkPatchBuilder(const IVrkPatchBuilder&) {}
IVrkPatchBuilder::~IVrkPatchBuilder() {}
IVrkPatchBuilder& IVrkPatchBuilder::operator=(const IVrkPatchBuilder&) { return *this; }

IVrkSystem::IVrkSystem() {}
IVrkSystem::IVrkSystem(const IVrkSystem&) {}
IVrkSystem::~IVrkSystem() {}
IVrkSystem& IVrkSystem::operator=(const IVrkSystem&) { return *this; }
