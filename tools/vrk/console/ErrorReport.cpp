#include "console/ErrorReport.h"

#include <OrvelPacket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "console/PrintableText.h"

namespace vrk {
namespace {

struct ErrorText {
  int code;
  const char* name;
};

// The name of every code the library can leave in g_nVrkErrCode; the
// library gives their meaning (VrkErrorText).
const ErrorText kErrors[] = {
    {VRKERR_OK, "VRKERR_OK"},
    {VRKERR_NULL_PATH, "VRKERR_NULL_PATH"},
    {VRKERR_NO_COMPRESSOR, "VRKERR_NO_COMPRESSOR"},
    {VRKERR_CREATE_FILE, "VRKERR_CREATE_FILE"},
    {VRKERR_NO_HASH_TABLE, "VRKERR_NO_HASH_TABLE"},
    {VRKERR_OPEN_FILE, "VRKERR_OPEN_FILE"},
    {VRKERR_BAD_SIGNATURE, "VRKERR_BAD_SIGNATURE"},
    {VRKERR_NO_HEADER, "VRKERR_NO_HEADER"},
    {VRKERR_NOT_OPEN, "VRKERR_NOT_OPEN"},
    {VRKERR_DATA_IO, "VRKERR_DATA_IO"},
    {VRKERR_NO_BLOCK_TABLE, "VRKERR_NO_BLOCK_TABLE"},
    {VRKERR_NULL_NAME, "VRKERR_NULL_NAME"},
    {VRKERR_NULL_BUFFER, "VRKERR_NULL_BUFFER"},
    {VRKERR_SEEK, "VRKERR_SEEK"},
    {VRKERR_NOT_UPDATING, "VRKERR_NOT_UPDATING"},
    {VRKERR_NO_SOURCE, "VRKERR_NO_SOURCE"},
    {VRKERR_NO_LIST_FILE, "VRKERR_NO_LIST_FILE"},
    {VRKERR_LIST_FILE_IO, "VRKERR_LIST_FILE_IO"},
    {VRKERR_NULL_HASH, "VRKERR_NULL_HASH"},
    {VRKERR_HASH_NOT_FOUND, "VRKERR_HASH_NOT_FOUND"},
    {VRKERR_HASH_TABLE_IO, "VRKERR_HASH_TABLE_IO"},
    {VRKERR_BAD_INDEX, "VRKERR_BAD_INDEX"},
    {VRKERR_SIGNATURE_IO, "VRKERR_SIGNATURE_IO"},
    {VRKERR_HEADER_IO, "VRKERR_HEADER_IO"},
    {VRKERR_NO_MEMORY, "VRKERR_NO_MEMORY"},
    {VRKERR_NULL_BLOCK, "VRKERR_NULL_BLOCK"},
    {VRKERR_BLOCK_TABLE_IO, "VRKERR_BLOCK_TABLE_IO"},
    {VRKERR_NO_PATCH_LIST, "VRKERR_NO_PATCH_LIST"},
    {VRKERR_NO_KEY, "VRKERR_NO_KEY"},
    {VRKERR_NOT_FOUND, "VRKERR_NOT_FOUND"},
    {VRKERR_EXISTS, "VRKERR_EXISTS"},
    {VRKERR_TABLE_FULL, "VRKERR_TABLE_FULL"},
    {VRKERR_BAD_EXTENSION, "VRKERR_BAD_EXTENSION"},
    {VRKERR_ADV_NOT_FOUND, "VRKERR_ADV_NOT_FOUND"},
    {VRKERR_CHECKSUM_IO, "VRKERR_CHECKSUM_IO"},
    {VRKERR_CHECKSUM, "VRKERR_CHECKSUM"},
    {VRKERR_NO_PACKET, "VRKERR_NO_PACKET"},
    {VRKERR_EMPTY_PACKET, "VRKERR_EMPTY_PACKET"},
    {VRKERR_NO_BLOCK, "VRKERR_NO_BLOCK"},
    {VRKERR_PATCH_DATA_IO, "VRKERR_PATCH_DATA_IO"},
    {VRKERR_WRITE_PATCH_HEADER, "VRKERR_WRITE_PATCH_HEADER"},
    {VRKERR_NO_BUILDER, "VRKERR_NO_BUILDER"},
    {VRKERR_READ_ONLY, "VRKERR_READ_ONLY"},
    {VRKERR_BUFFER_TOO_SMALL, "VRKERR_BUFFER_TOO_SMALL"},
    {VRKERR_BUSY, "VRKERR_BUSY"},
    {VRKERR_NEEDS_RECOVERY, "VRKERR_NEEDS_RECOVERY"},
};

const ErrorText* Find(int code) {
  for (const ErrorText& e : kErrors)
    if (e.code == code) return &e;
  return nullptr;
}

bool g_debugReports = false;

}  // namespace

bool IsTransferFailure(int code) {
  switch (code) {
    case VRKERR_CREATE_FILE: case VRKERR_OPEN_FILE: case VRKERR_DATA_IO:
    case VRKERR_SEEK: case VRKERR_LIST_FILE_IO: case VRKERR_HASH_TABLE_IO:
    case VRKERR_SIGNATURE_IO: case VRKERR_HEADER_IO: case VRKERR_BLOCK_TABLE_IO:
    case VRKERR_CHECKSUM_IO: case VRKERR_PATCH_DATA_IO: case VRKERR_WRITE_PATCH_HEADER:
      return true;
    default:
      return false;
  }
}

void SetDebugReports(bool on) { g_debugReports = on; }

const char* ErrorName(int code) {
  const ErrorText* e = Find(code);
  return e ? e->name : "unknown error";
}

std::string DebugSuffix(int code) {
  if (!g_debugReports) return "";
  return std::string(" [") + ErrorName(code) + " " + std::to_string(code) + "]";
}

std::string DescribeError(int code) {
  const int err = IsTransferFailure(code) ? VrkLastSystemError() : 0;
  std::string reason;
  if (err == ENOSPC) {
    reason = std::string("the disk is full: ") + std::strerror(err);
  } else if (err == EDQUOT) {
    reason = std::string("the disk quota is used up: ") + std::strerror(err);
  } else if (err != 0) {
    reason = std::string(VrkErrorText(code)) + ": " + std::strerror(err);
  } else {
    reason = VrkErrorText(code);
  }
  return reason + DebugSuffix(code);
}

ToolError LibraryError(const std::string& subject) {
  return LibraryError(subject, VrkThreadErrorCode());
}

ToolError LibraryError(const std::string& subject, int code) {
  return ToolError(subject + ": " + DescribeError(code));
}

void PrintProblem(const std::string& message) {
  std::fprintf(stderr, "vrk: %s\n", Printable(message).c_str());
}

std::string SystemProblem(const std::string& subject, int err) {
  return subject + ": " + std::strerror(err);
}

ToolError SystemFailure(const std::string& subject, int err) {
  return ToolError(SystemProblem(subject, err)).WithErrno(err);
}

bool EndsAllWrites(int err) {
  return err == ENOSPC || err == EROFS || err == EDQUOT;
}

}  // namespace vrk
