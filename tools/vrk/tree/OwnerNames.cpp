#include "tree/OwnerNames.h"

#include <grp.h>
#include <pwd.h>

namespace vrk {

const std::string& OwnerNames::User(uid_t uid) {
  auto [it, fresh] = users_.emplace(uid, std::string());
  if (fresh)
    if (const passwd* pw = getpwuid(uid)) it->second = pw->pw_name;
  return it->second;
}

const std::string& OwnerNames::Group(gid_t gid) {
  auto [it, fresh] = groups_.emplace(gid, std::string());
  if (fresh)
    if (const group* gr = getgrgid(gid)) it->second = gr->gr_name;
  return it->second;
}

bool OwnerNames::UserId(const std::string& name, uid_t* uid) {
  auto [it, fresh] = userIds_.emplace(name, -1);
  if (fresh)
    if (const passwd* pw = getpwnam(name.c_str())) it->second = static_cast<long>(pw->pw_uid);
  if (it->second < 0) return false;
  *uid = static_cast<uid_t>(it->second);
  return true;
}

bool OwnerNames::GroupId(const std::string& name, gid_t* gid) {
  auto [it, fresh] = groupIds_.emplace(name, -1);
  if (fresh)
    if (const group* gr = getgrnam(name.c_str())) it->second = static_cast<long>(gr->gr_gid);
  if (it->second < 0) return false;
  *gid = static_cast<gid_t>(it->second);
  return true;
}

}  // namespace vrk
