// The tree record inside an archive: reading it for list, extract and
// verify, and storing it after create, add and delete changed it.
#ifndef VRK_RECORD_STORE_H
#define VRK_RECORD_STORE_H

#include <string>

#include "archive/ArchiveNaming.h"
#include "tree/TreeRecord.h"

namespace vrk {

class Packet;

struct StoredRecord {
  TreeRecord record;
  bool present = false;  // the archive holds a record
  std::string problem;   // why a present record could not be used
  // The record would take more memory than a record of its size may
  // (RecordCodec.h): a hostile archive, reported as a failure.
  bool refused = false;
};

// The archive's record; empty when it has none. A record that cannot be
// read is treated as absent, with the reason in `problem`.
StoredRecord LoadTreeRecord(const Packet& packet);

// As LoadTreeRecord, printing a warning when the record cannot be used
// (names and attributes then come from the archive alone), or the refusal
// when it is refused; the command then goes on and ends with status 1.
StoredRecord LoadTreeRecordWarning(const Packet& packet);

// Stores `record` under the reserved name, compressed, replacing the one
// there. Call inside an update bracket; throws on library failures.
void StoreTreeRecord(const Packet& packet, const TreeRecord& record, Version version);

}  // namespace vrk

#endif
