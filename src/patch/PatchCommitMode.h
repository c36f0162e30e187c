// How ProceedPatch commits the levels it applies. By default the levels of
// one call commit together: one journal, made durable once, and the files
// synced once, at the end of the call (or, when a level fails, before the
// call returns). A bench turns per-level commits on to show what that saves.
#ifndef ORVEL_PATCH_PATCH_COMMIT_MODE_H
#define ORVEL_PATCH_PATCH_COMMIT_MODE_H

namespace orvel {

void SetPatchCommitsPerLevel(bool perLevel);
bool PatchCommitsPerLevel();

}  // namespace orvel

#endif
