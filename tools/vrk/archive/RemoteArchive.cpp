#include "archive/RemoteArchive.h"

#include <OrvelPacket.h>

#include <cerrno>

#include "console/ErrorReport.h"

namespace vrk {

std::string ShownUrl(const std::string& url) {
  if (!IsUrl(url)) return url;
  const size_t hostStart = url.find("//") + 2;
  std::string shown = url;
  const size_t query = shown.find_first_of("?#", hostStart);
  if (query != std::string::npos) shown = shown.substr(0, query) + (shown[query] == '?' ? "?..." : "");
  const size_t hostEnd = shown.find('/', hostStart);
  const size_t at = shown.rfind('@', hostEnd == std::string::npos ? shown.size() : hostEnd);
  if (at != std::string::npos && at >= hostStart) shown.erase(hostStart, at + 1 - hostStart);
  return shown;
}

std::string RemoteReason(int systemError) {
  switch (systemError) {
    case ENOENT: return "not found on the server (HTTP 404)";
    case EACCES: return "the server refused access (HTTP 401 or 403): see --header";
    case ESTALE: return "the archive changed on the server since it was opened: open it again";
    case EPROTO: return "the server's answer does not match the request";
    case EIO: return "the transfer failed (server error or connection lost, retries used up)";
    case EOPNOTSUPP: return "only advanced archives (.vrk) can be read from a URL";
    case EROFS: return "archives at a URL are read-only";
    case EFBIG: return "the file on the server is too large (4 GiB or more)";
    case ENAMETOOLONG: return "the URL is too long (259 bytes at most)";
    default: return "";
  }
}

std::string DescribeRemoteFailure(const std::string& shown, int code) {
  const std::string reason = IsTransferFailure(code) ? RemoteReason(VrkLastSystemError()) : "";
  if (reason.empty()) return shown + ": " + DescribeError(code);
  return shown + ": " + reason + DebugSuffix(code);
}

}  // namespace vrk
