#include "Salvage.h"

#include <OrvelPacket.h>

#include <memory>

#include "ArchiveCore.h"
#include "archive/SalvageWords.h"

namespace orvelpy {
namespace {

int Code(int fallback) { return VrkThreadErrorCode() != VRKERR_OK ? VrkThreadErrorCode() : fallback; }

struct PacketFree {
  void operator()(IOrvelPacket* p) const { g_piVrkSystem->FreePacket(p); }
};

}  // namespace

SalvageReport Salvage(const std::string& damaged, const std::string& target) {
  CVrkSalvage salvage;
  if (!salvage.Open(damaged.c_str())) throw LibraryFailure(Code(VRKERR_OPEN_FILE), damaged);
  const unsigned count = salvage.GetEntryCount();
  // The new archive is of the old one's variant; its table protection, base
  // version and stamp carry over.
  unsigned high = 0, low = 0, base = 0;
  salvage.GetPacketVersion(&high, &low, &base);
  const unsigned protect = (salvage.GetPacketFlags() & VRK_CREATE_PROTECT) ? 2u : 0u;
  const unsigned variant = salvage.IsAdvanced() ? VRK_CREATE_ADVANCED : 0u;
  std::unique_ptr<IOrvelPacket, PacketFree> out(g_piVrkSystem->NewPacket(
      target.c_str(), static_cast<int>(variant | protect), VRK_FORMAT_VERSION, count + 2, 0,
      base));
  if (!out) throw LibraryFailure(Code(VRKERR_CREATE_FILE), target);
  SalvageReport report;
  report.unreachable = salvage.GetLostEntryCount();
  out->BeginUpdate();
  out->SetPacketVersion(high, low);
  for (unsigned i = 0; i < count; ++i) {
    VrkSalvageEntry e;
    salvage.GetEntry(i, &e);
    const std::string name = e.name ? e.name : vrk::SalvagedName(e);
    void* data = nullptr;
    const int result = salvage.ReadEntry(i, 0, &data);
    if (result != VRK_SALVAGE_OK) {
      report.lost.emplace_back(name, vrk::SalvageLossReason(result));
      continue;
    }
    const int rc = (e.flags & 1u)
                       ? out->AddCompressedFile(name.c_str(), VRK_ADD_REPLACE, data, e.storedSize,
                                                e.originalSize, e.versionHigh, e.versionLow)
                       : out->AddFileFromMemory(name.c_str(), VRK_ADD_REPLACE, data, e.storedSize,
                                                e.versionHigh, e.versionLow);
    salvage.FreeBuffer(data);
    if (rc < 0) {
      out->EndUpdate();
      throw LibraryFailure(rc, target + ": " + name);
    }
    report.recovered.push_back(name);
  }
  const int rc = out->EndUpdate();
  if (rc != VRKERR_OK) throw LibraryFailure(rc, target);
  return report;
}

}  // namespace orvelpy
