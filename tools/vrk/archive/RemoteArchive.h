// Archives at a URL (http:// or https://), which the library reads over
// HTTP: how messages show them, why one failed, and the --header option
// that gives the requests their authorization headers.
#ifndef VRK_REMOTE_ARCHIVE_H
#define VRK_REMOTE_ARCHIVE_H

#include <string>

namespace CLI {
class App;
}

namespace vrk {

// True for "http://..." and "https://..." (any letter case).
bool IsUrl(const std::string& path);

// The URL as messages show it: without a user and password before the host
// and without the query, where presigned URLs carry their signature.
std::string ShownUrl(const std::string& url);

// Why a read over HTTP failed, from the library's system error; "" when that
// says nothing about a transfer.
std::string RemoteReason(int systemError);

// The message for a failed open or read of `shown` (a URL as ShownUrl
// gives it) with library code `code`.
std::string DescribeRemoteFailure(const std::string& shown, int code);

// Adds --header "Name: value" (repeatable) to a reading command: each
// header goes into ORVEL_HTTP_HEADERS, which the library reads when it
// opens a URL. Values are never echoed, also not in error messages.
void AddHeaderOption(CLI::App* cmd);

}  // namespace vrk

#endif
