// Archives at a URL (http:// or https://), which the library reads over
// HTTP: how messages show them and why one failed. (The --header option is
// in commands/HeaderOption.cpp.)
#ifndef VRK_REMOTE_ARCHIVE_H
#define VRK_REMOTE_ARCHIVE_H

#include <string>

#include "archive/ArchiveNaming.h"  // IsUrl

namespace vrk {

// The URL as messages show it: without a user and password before the host
// and without the query, where presigned URLs carry their signature.
std::string ShownUrl(const std::string& url);

// Why a read over HTTP failed, from the library's system error; "" when that
// says nothing about a transfer.
std::string RemoteReason(int systemError);

// The message for a failed open or read of `shown` (a URL as ShownUrl
// gives it) with library code `code`.
std::string DescribeRemoteFailure(const std::string& shown, int code);

}  // namespace vrk

#endif
