// OrvelPacket: keeps a host program's data files inside archive files, reads
// any one of them back by name, and carries changes between copies of an
// archive as patches.
//
// Start from g_piVrkSystem (orvel/IVrkSystem.h): it creates and opens archives
// (orvel/IOrvelPacket.h). Every outcome is also left in g_nVrkErrCode
// (orvel/VrkErrors.h). No exception ever leaves the library.
#ifndef ORVEL_PACKET_H
#define ORVEL_PACKET_H

#include "orvel/CPacketAllocator.h"
#include "orvel/CVrkPatcher.h"
#include "orvel/IOrvelPacket.h"
#include "orvel/IVrkPatchBuilder.h"
#include "orvel/IVrkSystem.h"
#include "orvel/PatchData.h"
#include "orvel/VrkCallbacks.h"
#include "orvel/VrkCheckSum.h"
#include "orvel/VrkErrors.h"
#include "orvel/VrkReadFile.h"
#include "orvel/VrkRemote.h"
#include "orvel/VrkReplace.h"
#include "orvel/VrkSalvage.h"
#include "orvel/VrkExport.h"

// Format version of every archive this library reads and writes.
#define VRK_FORMAT_VERSION 32
// Block index argument meaning "look the name up".
#define VRK_BY_NAME 0xFFFFFFFFu
// Add flags.
#define VRK_ADD_COMPRESS 1u
#define VRK_ADD_REPLACE 2u
// Create flags.
#define VRK_CREATE_PROTECT 6u
#define VRK_CREATE_ADVANCED 8u

#endif
