// The library's entry object.
#ifndef ORVEL_IVRK_SYSTEM_H
#define ORVEL_IVRK_SYSTEM_H

#include "VrkExport.h"

class IOrvelPacket;
class IVrkPatchBuilder;

// Makes and unmakes archives and patch builders. The host reaches it through
// g_piVrkSystem, which is valid from load to unload.
class VRK_API IVrkSystem {
 public:
  IVrkSystem();
  IVrkSystem(const IVrkSystem&);
  virtual ~IVrkSystem();
  IVrkSystem& operator=(const IVrkSystem&);

  // Creates an archive file (or, with a null or empty name, an unopened
  // archive object). Bit value 8 of `flags` selects the advanced variant;
  // `version` must be 32. Null on failure.
  virtual IOrvelPacket* NewPacket(const char* name, int flags, int version,
                                  unsigned int tableSize,
                                  unsigned int versionHigh,
                                  unsigned int versionLow) = 0;      // 1
  // Opens an existing archive of either variant. Null on failure.
  virtual IOrvelPacket* LoadPacket(const char* name) = 0;            // 2
  // Destroys an archive without writing pending changes; null is ignored.
  virtual void FreePacket(IOrvelPacket* packet) = 0;                 // 3
  // A patch builder for an advanced archive; null for any other object.
  virtual IVrkPatchBuilder* NewPatchBuilder(IOrvelPacket* packet) = 0;  // 4
  virtual void FreePatchBuilder(IVrkPatchBuilder* builder) = 0;      // 5
  // The current value of g_nVrkErrCode.
  virtual int GetErrCode() = 0;                                      // 6
};

extern VRK_API IVrkSystem* g_piVrkSystem;

#endif
