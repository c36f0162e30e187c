// Whether a symbolic link from an archive may be created: only when what it
// points to stays inside the extraction directory. The target is followed
// one component at a time through the archive's own links and through links
// already in the directory, as the system would follow it, so that a chain
// of links cannot lead outside.
#ifndef VRK_LINK_POLICY_H
#define VRK_LINK_POLICY_H

#include <map>
#include <string>
#include <vector>

#include "tree/TreeRecord.h"

namespace vrk {

class LinkPolicy {
 public:
  // `links` are the archive's links; `directoryFd` is the extraction
  // directory, where links already there are read.
  LinkPolicy(const std::vector<TreeEntry>& links, int directoryFd);

  // False with the reason when `link` leads, or may lead, outside.
  bool StaysInside(const TreeEntry& link, std::string* reason) const;

 private:
  // The target of the link at `path` ('/'-joined), from the archive or the
  // directory; false when there is no link there.
  bool LinkAt(const std::string& path, std::string* target) const;

  std::map<std::string, std::string> links_;  // '/'-joined name -> target
  int directoryFd_;
};

}  // namespace vrk

#endif
