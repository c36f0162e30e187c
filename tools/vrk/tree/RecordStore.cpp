#include "tree/RecordStore.h"

#include <OrvelPacket.h>

#include "archive/CompressPipeline.h"
#include "console/ErrorReport.h"
#include "archive/PacketHandle.h"
#include "archive/PacketRead.h"
#include "archive/Packing.h"
#include "tree/RecordCodec.h"

namespace vrk {

StoredRecord LoadTreeRecord(const Packet& packet) {
  StoredRecord out;
  out.present = packet.Contains(kRecordFileName);
  if (!out.present) return out;
  try {
    EntryBytes bytes = ReadEntry(packet, kRecordFileName);
    out.refused = DecodeTreeRecord(bytes.Data(), bytes.Size(), &out.record, &out.problem) ==
                  RecordDecode::kRefused;
  } catch (const ToolError& e) {
    out.problem = e.what();
  }
  return out;
}

StoredRecord LoadTreeRecordWarning(const Packet& packet) {
  StoredRecord out = LoadTreeRecord(packet);
  if (out.refused)
    PrintProblem(packet.Path() + ": " + out.problem +
                 "; it is left as it is, and files go by their names in the archive");
  else if (!out.problem.empty())
    PrintProblem("warning: " + packet.About(kRecordFileName) + ": " + out.problem +
                 "; it is left as it is, and names and attributes come from the archive alone");
  return out;
}

void StoreTreeRecord(const Packet& packet, const TreeRecord& record, Version version) {
  const PackedFile packed = Packer().PackQuickly(EncodeTreeRecord(record));
  AddPacked(packet, kRecordFileName, VRK_ADD_REPLACE, packed, version);
}

}  // namespace vrk
