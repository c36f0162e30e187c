// The system's user and group names for numbers and numbers for names, each
// looked up once: a tree has many files and few owners.
#ifndef VRK_OWNER_NAMES_H
#define VRK_OWNER_NAMES_H

#include <sys/types.h>

#include <string>
#include <unordered_map>

namespace vrk {

class OwnerNames {
 public:
  // The name of a user or group number; empty when the system has none.
  const std::string& User(uid_t uid);
  const std::string& Group(gid_t gid);
  // The number of a user or group name; false when the system has none.
  bool UserId(const std::string& name, uid_t* uid);
  bool GroupId(const std::string& name, gid_t* gid);

 private:
  std::unordered_map<uid_t, std::string> users_;
  std::unordered_map<gid_t, std::string> groups_;
  std::unordered_map<std::string, long> userIds_;   // -1: no such user
  std::unordered_map<std::string, long> groupIds_;  // -1: no such group
};

}  // namespace vrk

#endif
