// The entry object: the one object the library hands its host.
#ifndef ORVEL_SYSTEM_VRK_SYSTEM_H
#define ORVEL_SYSTEM_VRK_SYSTEM_H

#include "orvel/IVrkSystem.h"

namespace orvel {

// Makes and unmakes archives and patch builders, probes archive headers. It
// has no state; one static instance lives from load to unload.
class CVrkSystem : public IVrkSystem {
 public:
  IOrvelPacket* NewPacket(const char* name, int flags, int version, unsigned int tableSize,
                          unsigned int versionHigh, unsigned int versionLow) override;
  IOrvelPacket* LoadPacket(const char* name) override;
  void FreePacket(IOrvelPacket* packet) override;
  IVrkPatchBuilder* NewPatchBuilder(IOrvelPacket* packet) override;
  void FreePatchBuilder(IVrkPatchBuilder* builder) override;
  int GetErrCode() override;

  // The header probe: magic, format version (offset 4) and archive flags
  // (offset 20). 1 when read; 0 with -5 (not openable), -6 (not the magic)
  // or -22 (short read). Success leaves the error code as it was.
  virtual int ReadPacketHeader(const char* name, int* version, int* flags);
};

}  // namespace orvel

#endif
