// Where a URL's path ends. Archives at a URL may carry a query (an access
// token, a presigned signature) and a fragment after their path: rules that
// look at a file's extension, and names made from it, must use the path part
// only. Disk paths are never split: '?' and '#' are file name characters.
#ifndef ORVEL_FRAME_URL_PARTS_H
#define ORVEL_FRAME_URL_PARTS_H

#include <cstddef>

namespace orvel {

struct UrlParts {
  std::size_t pathEnd;   // the length of scheme, host and path
  std::size_t queryEnd;  // the query is [pathEnd, queryEnd), with its '?'; the fragment follows
};

// The parts of `path`: for an http(s) URL, the path ends at its first '?'
// or '#'; anything else is all path (pathEnd == queryEnd == its length).
UrlParts SplitUrl(const char* path);

}  // namespace orvel

#endif
