// The patch builder interface.
#ifndef ORVEL_IVRK_PATCH_BUILDER_H
#define ORVEL_IVRK_PATCH_BUILDER_H

#include "PatchData.h"
#include "VrkExport.h"

// Collects the files of an advanced archive written since its base version,
// writes their stored bytes to block files, saves and loads patch files and
// applies single records. Made by g_piVrkSystem->NewPatchBuilder for an
// advanced archive, which must outlive it; driven by CVrkPatcher.
class VRK_API IVrkPatchBuilder {
 public:
  IVrkPatchBuilder();
  IVrkPatchBuilder(const IVrkPatchBuilder&);
  virtual ~IVrkPatchBuilder();
  IVrkPatchBuilder& operator=(const IVrkPatchBuilder&);

  virtual unsigned int CollectPatchBlocks() = 0;                     // 1
  virtual void BeginPatchData(unsigned int count) = 0;               // 2
  virtual void GrowPatchData(unsigned int extra) = 0;                // 3
  virtual const char* SelectPatchBlock(unsigned int index) = 0;      // 4
  virtual int FindPatchData(const char* name) = 0;                   // 5
  // `file` is an open file descriptor.
  virtual int WritePatchBlockTo(int file) = 0;                       // 6
  virtual int WritePatchBlock(const char* blockPath, unsigned int origin,
                              int distance) = 0;                     // 7
  virtual int SavePatchFile(const char* path) = 0;                   // 8
  virtual int LoadPatchFile(const char* path) = 0;                   // 9
  virtual PatchData* SelectPatchData(unsigned int index) = 0;        // 10
  virtual int ApplyPatchData(const char* blockPath) = 0;             // 11
  virtual unsigned int GetPatchDataCount() = 0;                      // 12
  virtual void GetPatchVersion(unsigned int* high,
                               unsigned int* low) = 0;               // 13
  virtual void SetPatchVersion(unsigned int high, unsigned int low) = 0;  // 14
  virtual void GetPatchDataVersion(unsigned int* high,
                                   unsigned int* low) = 0;           // 15
};

#endif
