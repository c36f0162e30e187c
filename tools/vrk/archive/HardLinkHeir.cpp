#include "archive/HardLinkHeir.h"

#include <OrvelPacket.h>

#include <vector>

#include "archive/CompressPipeline.h"
#include "archive/PacketHandle.h"
#include "archive/PacketRead.h"
#include "archive/Packing.h"

namespace vrk {

void PassOnHardLinks(const Packet& packet, TreeRecord& record, const std::string& holder,
                     const std::set<std::string>& leaving, Version version) {
  const TreeEntry* file = record.FindExact(holder);
  if (!file || file->kind != EntryKind::kFile) return;
  std::vector<TreeEntry> links;
  for (const TreeEntry* l : record.HardLinksTo(holder))
    if (!leaving.count(l->name)) links.push_back(*l);
  if (links.empty()) return;

  TreeEntry heir = links.front();
  heir.kind = EntryKind::kFile;
  heir.target.clear();
  // Another file may be kept under the heir's name regardless of case (the
  // holder itself, whose data is still there): an alias is always safe.
  const bool own = ArchiveHoldsName(heir.name) && heir.name.find('\\') == std::string::npos &&
                   !packet.Contains(heir.name);
  heir.alias = own ? 0 : record.NextAlias();
  const EntryBytes data = ReadEntry(packet, StoredName(*file));
  const PackedFile packed = Packer().PackQuickly(
      std::string(reinterpret_cast<const char*>(data.Data()), data.Size()));
  AddPacked(packet, StoredName(heir), VRK_ADD_REPLACE, packed, version);
  record.Put(heir);
  for (size_t i = 1; i < links.size(); ++i) {
    links[i].target = heir.name;
    record.Put(links[i]);
  }
}

}  // namespace vrk
