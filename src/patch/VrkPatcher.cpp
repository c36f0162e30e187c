// The patcher: builds, extends, applies and cleans up patches by driving a
// patch builder over its archive.
#include "orvel/CVrkPatcher.h"

#include <atomic>
#include <cstring>

#include "advance/VrkAdvance.h"
#include "frame/Callbacks.h"
#include "frame/DebugOutput.h"
#include "frame/DiskFile.h"
#include "frame/ErrorCode.h"
#include "orvel/IOrvelPacket.h"
#include "orvel/IVrkPatchBuilder.h"
#include "patch/BuildReadRuns.h"
#include "patch/PatchCommitMode.h"
#include "patch/PatchPath.h"

using namespace orvel;

namespace {

std::atomic<bool> g_commitsPerLevel{false};

// The error code a failed step left, or `fallback` when it left none: a
// build that stopped never reports success.
int Failed(int fallback = VRKERR_PATCH_DATA_IO) {
  return SetError(GlobalError() < 0 ? GlobalError() : fallback);
}

// Commits the level open on `packet` and stamps it `level`: in one commit
// where the archive can, else through its own SetPacketVersion afterwards.
// A failed commit leaves the stamp alone.
int CommitLevel(IOrvelPacket* packet, unsigned int high, unsigned int level) {
  if (auto* advanced = dynamic_cast<CVrkAdvance*>(packet))
    return advanced->EndUpdateAtVersion(high, level);
  const int rc = packet->EndUpdate();
  if (rc < 0) return rc;
  packet->SetPacketVersion(high, level);
  return GlobalError() < 0 ? GlobalError() : rc;
}

// Right after the bracket opens at record `first`: the records it will
// apply (up to the first above `level`) have the bytes they overwrite in
// place journaled together, so that the journal reaches the disk once for
// all of them instead of once per record.
void JournalRecords(IOrvelPacket* packet, IVrkPatchBuilder* builder, unsigned int first,
                    unsigned int count, unsigned int archiveLevel, unsigned int level) {
  auto* advanced = dynamic_cast<CVrkAdvance*>(packet);
  if (!advanced) return;
  for (unsigned int i = first; i < count; ++i) {
    const PatchData* r = builder->SelectPatchData(i);
    if (!r) continue;
    if (r->versionLow > level) break;
    if (r->versionLow <= archiveLevel) continue;
    const unsigned int hash[3] = {r->hash0, r->hash1, r->hash2};
    advanced->JournalReplacement(hash, r->storedSize);
  }
  builder->SelectPatchData(first);
}

// What one pass of ProceedPatch over the patch's records works with.
struct LevelRun {
  IOrvelPacket* packet;
  IVrkPatchBuilder* builder;
  const PatchPath* base;
  unsigned int count;  // records in the patch
  unsigned int high;   // the archive's versionHigh, which it keeps
  unsigned int level;  // the archive's level before the call
  // The levels commit together: one bracket for the call holds them, the
  // level brackets inside it only stamp the header in memory, and the
  // commit that closes it makes them durable at once (one journal, made
  // durable once; the files synced once). A crash before that commit
  // leaves the archive at the level it started from. Otherwise each level
  // is a commit of its own, as before.
  bool together;
};

// Applies the records above run.level up to `through` and stamps the
// archive `through` when they all went in. Returns ProceedPatch's result;
// *completed is the last level whose records all went in, and
// *commitFailed tells whether the closing commit of the call's bracket
// failed (everything was rolled back then).
int ApplyLevels(const LevelRun& run, unsigned int through, unsigned int* completed,
                bool* commitFailed) {
  IOrvelPacket* packet = run.packet;
  IVrkPatchBuilder* builder = run.builder;
  char block[kMaxJoinedPath + 1];
  *completed = 0;
  *commitFailed = false;
  // Closes the call's bracket: its commit decides, unless a step before
  // did already.
  auto close = [&](int rc) {
    if (!run.together) return rc;
    const int committed = packet->EndUpdate();
    *commitFailed = committed < 0;
    return rc < 0 ? rc : committed;
  };
  unsigned int current = 0;  // the level open, 0 for none
  for (unsigned int i = 0; i < run.count; ++i) {
    FireCallback(VRKCB_APPLY_PATCH, packet, static_cast<int>(run.count), static_cast<int>(i));
    if (!builder->SelectPatchData(i)) continue;
    unsigned int recordLevel = 0;
    builder->GetPatchDataVersion(nullptr, &recordLevel);
    if (recordLevel <= run.level || recordLevel > through) continue;
    if (current == 0 || recordLevel > current) {
      // A level is stamped only once its files are in.
      if (current) {
        const int rc = CommitLevel(packet, run.high, current);
        if (rc < 0) return close(rc);
        *completed = current;
        if (run.together) static_cast<CVrkAdvance*>(packet)->StartAppendWriteback();
      } else if (run.together) {
        packet->BeginUpdate();
        JournalRecords(packet, builder, i, run.count, run.level, through);
      }
      packet->BeginUpdate();
      if (!run.together) JournalRecords(packet, builder, i, run.count, run.level, recordLevel);
      current = recordLevel;
    }
    BlockFilePath(*run.base, recordLevel, block);
    if (!builder->ApplyPatchData(block)) {
      // The levels before this one (and what this one wrote) are committed
      // before the call returns, stamped with the last level completed.
      const int kept = GlobalError() < 0 ? GlobalError() : VRKERR_PATCH_DATA_IO;
      packet->EndUpdate();
      return close(kept);
    }
  }
  if (current) return close(CommitLevel(packet, run.high, through));
  // Nothing above the archive's level: nothing to commit, but the archive
  // has every file of the patch's level.
  packet->SetPacketVersion(run.high, through);
  if (GlobalError() < 0) return GlobalError();
  return VRKERR_NOT_UPDATING;
}

// The archive's path split, with the patch file's path; false when a path
// made from it would be too long.
bool PatchPathsOf(IOrvelPacket* packet, PatchPath* base, char* patchFile) {
  char pattern[kMaxJoinedPath + 1];
  return SplitPatchPath(packet->GetPacketPath(), base) && BlockFilePattern(*base, pattern) &&
         JoinPatchPath(*base, "", ".vrx", patchFile);
}

}  // namespace

namespace orvel {
void SetPatchCommitsPerLevel(bool perLevel) { g_commitsPerLevel.store(perLevel); }
bool PatchCommitsPerLevel() { return g_commitsPerLevel.load(); }
}  // namespace orvel

CVrkPatcher::CVrkPatcher(IOrvelPacket* packet, IVrkPatchBuilder* builder)
    : m_piPacket(packet), m_piBuilder(builder) {}

CVrkPatcher::CVrkPatcher(const CVrkPatcher& other)
    : m_piPacket(other.m_piPacket), m_piBuilder(other.m_piBuilder) {}

CVrkPatcher::~CVrkPatcher() {}

CVrkPatcher& CVrkPatcher::operator=(const CVrkPatcher& other) {
  m_piPacket = other.m_piPacket;
  m_piBuilder = other.m_piBuilder;
  return *this;
}

int CVrkPatcher::CreatePatchFile() {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET);
  if (!m_piBuilder) return SetError(VRKERR_NO_BUILDER);
  PatchPath base;
  char patchFile[kMaxJoinedPath + 1], pattern[kMaxJoinedPath + 1], block[kMaxJoinedPath + 1];
  if (!PatchPathsOf(m_piPacket, &base, patchFile) || !BlockFilePattern(base, pattern))
    return SetError(VRKERR_NULL_PATH);

  const unsigned int n = m_piBuilder->CollectPatchBlocks();
  if (n == 0) return GlobalError();
  m_piBuilder->BeginPatchData(n);
  if (m_piBuilder->GetPatchDataCount() != n) return Failed(VRKERR_NO_MEMORY);
  DeletePatchBlockFile(pattern);

  ReadRuns reads(m_piPacket);
  for (unsigned int i = 0; i < n; ++i) {
    FireCallback(VRKCB_MAKE_PATCH, m_piPacket, static_cast<int>(n), static_cast<int>(i));
    reads.Before(i);
    const char* name = m_piBuilder->SelectPatchBlock(i);
    if (!name) continue;
    DebugOutput(name);
    unsigned int level = 0;
    m_piPacket->GetFileVersion(name, nullptr, &level);
    BlockFilePath(base, level, block);
    if (!m_piBuilder->WritePatchBlock(block, 2, 0)) return Failed();
  }
  reads.End();
  const int rc = m_piBuilder->SavePatchFile(patchFile);
  if (rc < 0) return rc;
  return SetError(VRKERR_OK);
}

int CVrkPatcher::ExtendPatchFile() {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET);
  if (!m_piBuilder) return SetError(VRKERR_NO_BUILDER);
  PatchPath base;
  char patchFile[kMaxJoinedPath + 1], block[kMaxJoinedPath + 1];
  if (!PatchPathsOf(m_piPacket, &base, patchFile)) return SetError(VRKERR_NULL_PATH);

  const unsigned int n = m_piBuilder->CollectPatchBlocks();
  if (n == 0) return GlobalError();
  int rc = m_piBuilder->LoadPatchFile(patchFile);
  if (rc < 0) return rc;
  const unsigned int old = m_piBuilder->GetPatchDataCount();
  unsigned int oldLevel = 0;
  m_piBuilder->GetPatchVersion(nullptr, &oldLevel);

  // A file goes in when the patch has no record of it or it changed since
  // the patch's level.
  auto carries = [&](const char* name) {
    if (m_piBuilder->FindPatchData(name) == -1) return true;
    unsigned int level = 0;
    m_piPacket->GetFileVersion(name, nullptr, &level);
    return level > oldLevel;
  };
  unsigned int count = 0;
  for (unsigned int i = 0; i < n; ++i) {
    const char* name = m_piBuilder->SelectPatchBlock(i);
    if (name && carries(name)) ++count;
  }
  if (count == 0) return SetError(VRKERR_OK);

  m_piBuilder->GrowPatchData(count);
  if (m_piBuilder->GetPatchDataCount() != old + count) return Failed(VRKERR_NO_MEMORY);
  unsigned int high = 0, low = 0;
  m_piPacket->GetPacketVersion(&high, &low, nullptr);
  m_piBuilder->SetPatchVersion(high, low);

  unsigned int j = 0;
  ReadRuns reads(m_piPacket);
  for (unsigned int i = 0; i < n && j < count; ++i) {
    FireCallback(VRKCB_MAKE_PATCH, m_piPacket, static_cast<int>(n), static_cast<int>(i));
    reads.Before(i);
    const char* name = m_piBuilder->SelectPatchBlock(i);
    if (!name) continue;
    DebugOutput(name);
    if (!carries(name)) continue;
    // Without its own record the entry would overwrite another one.
    if (!m_piBuilder->SelectPatchData(old + j)) return Failed();
    unsigned int level = 0;
    m_piPacket->GetFileVersion(name, nullptr, &level);
    BlockFilePath(base, level, block);
    if (!m_piBuilder->WritePatchBlock(block, 2, 0)) return Failed();
    ++j;
  }
  reads.End();
  rc = m_piBuilder->SavePatchFile(patchFile);
  if (rc < 0) return rc;
  return SetError(VRKERR_OK);
}

int CVrkPatcher::ProceedPatch(char* path) {
  if (!path) return SetError(VRKERR_NULL_PATH);
  if (!m_piBuilder) return SetError(VRKERR_NO_BUILDER);
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET);
  PatchPath base;
  char block[kMaxJoinedPath + 1];
  if (!FitsPathLimits(path) || !SplitPatchPath(path, &base) || !BlockFilePath(base, 0, block))
    return SetError(VRKERR_NULL_PATH);

  int rc = m_piBuilder->LoadPatchFile(path);
  if (rc < 0) return rc;
  const unsigned int count = m_piBuilder->GetPatchDataCount();
  if (count == 0) return SetError(VRKERR_OK);
  unsigned int patchLevel = 0, high = 0, level = 0;
  m_piBuilder->GetPatchVersion(nullptr, &patchLevel);
  m_piPacket->GetPacketVersion(&high, &level, nullptr);
  if (level >= patchLevel) return SetError(VRKERR_OK);

  const bool together = !g_commitsPerLevel.load(std::memory_order_relaxed) &&
                        dynamic_cast<CVrkAdvance*>(m_piPacket) != nullptr;
  const LevelRun run{m_piPacket, m_piBuilder, &base, count, high, level, together};
  unsigned int completed = 0;
  bool commitFailed = false;
  rc = ApplyLevels(run, patchLevel, &completed, &commitFailed);
  if (rc < 0 && commitFailed && completed) {
    // A level failed and the commit of the call's bracket, which would have
    // kept the levels before it, failed too: everything was rolled back.
    // Those levels are applied once more, on their own, so that they are
    // committed before the call returns.
    const int kept = rc;
    ApplyLevels(run, completed, &completed, &commitFailed);
    return SetError(kept);
  }
  return SetError(rc);
}

void CVrkPatcher::DeletePatchBlockFile(char* pattern) {
  if (!pattern || !FitsPathLimits(pattern)) return;
  // The directory part: up to the last '\', else up to the last '/'.
  const char* cut = std::strrchr(pattern, '\\');
  if (!cut) cut = std::strrchr(pattern, '/');
  const size_t dirLength = cut ? static_cast<size_t>(cut - pattern) + 1 : 0;
  char found[kMaxPathPart + 1];
  char full[2 * (kMaxJoinedPath + 1)];
  while (FindFirstMatchingFile(pattern, found, sizeof found)) {
    std::memcpy(full, pattern, dirLength);
    std::strcpy(full + dirLength, found);
    if (!DeleteDiskFile(full)) break;
  }
}
