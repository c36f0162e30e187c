// Fuzzes applying a hostile patch to an archive. The input (see FuzzPatch.h)
// holds a patch file and one block file, which is written under the name of
// each of the first levels the patch file's records name. With the input's
// repair bit set, the checksums of the patch file and of the block entries
// its records point at are rewritten first, so that mutations reach the
// code behind the checks. The patch goes through LoadPatchFile and
// ProceedPatch into a fresh copy of a small advanced archive at level 0,
// which is then read back, changed and compacted.
#include <unistd.h>

#include <cstring>
#include <set>
#include <vector>

#include "FuzzArchive.h"
#include "FuzzPatch.h"
#include "ReferenceArchive.h"

namespace {

// Block files written for several levels feed the level-by-level loop; a
// handful is enough and keeps each run fast.
constexpr unsigned kMaxLevels = 4;
constexpr unsigned kMaxRecordsScanned = 256;

// The patch file: a 20-byte header and its CRC-32, 36-byte records
// (PatchData) and the CRC-32 of the records. A block entry is the stored
// bytes followed by their CRC-32.
constexpr size_t kHeaderBytes = 20;
constexpr size_t kMaxRecordsRepaired = 64;

void PutCheckSum(std::string& s, size_t from, size_t size, size_t at) {
  const uint32_t crc = size ? static_cast<uint32_t>(CalcVrkCheckSum(&s[from], size)) : 0;
  std::memcpy(&s[at], &crc, 4);
}

void RepairCheckSums(orvel_fuzz::PatchInput& in) {
  std::string& p = in.patch;
  if (p.size() < kHeaderBytes + 4) return;
  PutCheckSum(p, 0, kHeaderBytes, kHeaderBytes);
  if (p.size() < kHeaderBytes + 8) return;
  const size_t first = kHeaderBytes + 4, end = p.size() - 4;
  PutCheckSum(p, first, end - first, end);
  for (size_t at = first, n = 0; at + sizeof(PatchData) <= end && n < kMaxRecordsRepaired;
       at += sizeof(PatchData), ++n) {
    PatchData r;
    std::memcpy(&r, &p[at], sizeof r);
    if (uint64_t{r.offset} + r.storedSize + 4 <= in.block.size())
      PutCheckSum(in.block, r.offset, r.storedSize, size_t{r.offset} + r.storedSize);
  }
}

// The target archive's three files, made once per process and copied in
// before every run.
const orvel_fuzz::ArchiveFiles& PristineTarget(const std::string& base) {
  static const orvel_fuzz::ArchiveFiles bytes = [&] {
    const std::string made = base + "0.vrk";
    orvel_fuzz::MakeTargetArchive(made);
    return orvel_fuzz::ReadArchiveFiles(made);
  }();
  return bytes;
}

std::set<unsigned> NamedLevels(IVrkPatchBuilder* b) {
  std::set<unsigned> levels;
  const unsigned count = b->GetPatchDataCount();
  for (unsigned i = 0; i < count && i < kMaxRecordsScanned && levels.size() < kMaxLevels; ++i)
    if (const PatchData* d = b->SelectPatchData(i)) levels.insert(d->versionLow);
  return levels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orvel_fuzz::PatchInput in = orvel_fuzz::SplitPatchInput(data, size);
  if (in.repairCheckSums) RepairCheckSums(in);
  const std::string base = orvel_fuzz::ScratchBase();
  const std::string stem = base.substr(0, base.rfind('/') + 1) + "p";
  std::string patchPath = stem + ".vrx";

  const orvel_fuzz::ArchiveFiles& target = PristineTarget(base);
  orvel_fuzz::WriteBytes(base + ".vrk", target.vrk);
  orvel_fuzz::WriteBytes(base + ".bhl", target.bhl);
  orvel_fuzz::WriteBytes(base + ".lst", target.lst);
  orvel_fuzz::WriteBytes(patchPath, in.patch);
  static std::vector<std::string> blockFiles;  // of the previous run
  for (const std::string& f : blockFiles) unlink(f.c_str());
  blockFiles.clear();

  IOrvelPacket* a = g_piVrkSystem->LoadPacket((base + ".vrk").c_str());
  if (!a) return 0;
  if (IVrkPatchBuilder* b = g_piVrkSystem->NewPatchBuilder(a)) {
    b->LoadPatchFile(patchPath.c_str());
    for (unsigned level : NamedLevels(b)) {
      blockFiles.push_back(orvel_fuzz::BlockPath(stem, level));
      orvel_fuzz::WriteBytes(blockFiles.back(), in.block);
    }
    CVrkPatcher(a, b).ProceedPatch(&patchPath[0]);
    g_piVrkSystem->FreePatchBuilder(b);
  }
  orvel_fuzz::Exercise(a);
  g_piVrkSystem->FreePacket(a);
  return 0;
}
