// Builds, extends, applies and cleans up patches.
#ifndef ORVEL_CVRK_PATCHER_H
#define ORVEL_CVRK_PATCHER_H

#include "VrkExport.h"

class IOrvelPacket;
class IVrkPatchBuilder;

// Pairs an advanced archive with a patch builder made for that same archive.
// Owns neither; both must outlive the patcher.
class VRK_API CVrkPatcher {
 public:
  CVrkPatcher(IOrvelPacket* packet, IVrkPatchBuilder* builder);
  CVrkPatcher(const CVrkPatcher&);
  virtual ~CVrkPatcher();
  CVrkPatcher& operator=(const CVrkPatcher&);

  // Writes the block files and the patch file beside the archive.
  virtual int CreatePatchFile();
  // Adds the files written since the patch file's level.
  virtual int ExtendPatchFile();
  // Applies the patch file at `path` to the archive, level by level.
  virtual int ProceedPatch(char* path);
  // Deletes every file matching a wildcard pattern ('?' and '*').
  virtual void DeletePatchBlockFile(char* pattern);

 private:
  IOrvelPacket* m_piPacket;
  IVrkPatchBuilder* m_piBuilder;
};

#endif
