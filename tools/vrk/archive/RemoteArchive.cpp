#include "archive/RemoteArchive.h"

#include <CLI/CLI.hpp>
#include <OrvelPacket.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "console/ErrorReport.h"

namespace vrk {

bool IsUrl(const std::string& path) {
  return strncasecmp(path.c_str(), "http://", 7) == 0 || strncasecmp(path.c_str(), "https://", 8) == 0;
}

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
    default: return "";
  }
}

std::string DescribeRemoteFailure(const std::string& shown, int code) {
  const std::string reason = IsTransferFailure(code) ? RemoteReason(VrkLastSystemError()) : "";
  if (reason.empty()) return shown + ": " + DescribeError(code);
  return shown + ": " + reason + DebugSuffix(code);
}

void AddHeaderOption(CLI::App* cmd) {
  cmd->add_option_function<std::vector<std::string>>(
         "--header",
         [](const std::vector<std::string>& headers) {
           const char* old = std::getenv("ORVEL_HTTP_HEADERS");
           std::string all = old ? old : "";
           for (const std::string& h : headers) {
             // The value is not repeated: it may be a credential.
             if (h.find(':') == std::string::npos || h.find_first_of("\r\n") != std::string::npos)
               throw CLI::ValidationError("--header", "takes one \"Name: value\" header");
             all += (all.empty() ? "" : "\n") + h;
           }
           setenv("ORVEL_HTTP_HEADERS", all.c_str(), 1);
         },
         "HTTP header for an archive at a URL, \"Name: value\" (an Authorization header); "
         "repeatable; ORVEL_HTTP_HEADERS may hold more, one per line")
      ->type_name("HEADER")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

}  // namespace vrk
