#include "orvel/VrkErrors.h"

namespace {

struct CodeText {
  int code;
  const char* text;
};

// Every code the library can leave in g_nVrkErrCode.
const CodeText kTexts[] = {
    {VRKERR_OK, "no error"},
    {VRKERR_NULL_PATH, "no path was given"},
    {VRKERR_NO_COMPRESSOR, "no compression buffer available"},
    {VRKERR_CREATE_FILE, "a file cannot be created, or a source file cannot be read"},
    {VRKERR_NO_HASH_TABLE, "the hash table is missing or unreadable"},
    {VRKERR_OPEN_FILE, "a file cannot be opened"},
    {VRKERR_BAD_SIGNATURE, "not an archive of this format"},
    {VRKERR_NO_HEADER, "the archive header is missing or unreadable"},
    {VRKERR_NOT_OPEN, "a file the operation needs is not open"},
    {VRKERR_DATA_IO, "reading or writing file data failed"},
    {VRKERR_NO_BLOCK_TABLE, "the block table is missing"},
    {VRKERR_NULL_NAME, "missing, too long or unknown file name"},
    {VRKERR_NULL_BUFFER, "no data, or the data could not be compressed"},
    {VRKERR_SEEK, "positioning in a file or a transfer came up short"},
    {VRKERR_NOT_UPDATING, "change attempted outside an update"},
    {VRKERR_NO_SOURCE, "the source file does not exist"},
    {VRKERR_NO_LIST_FILE, "the archive's name list is missing"},
    {VRKERR_LIST_FILE_IO, "reading or writing the name list failed"},
    {VRKERR_NULL_HASH, "no name hashes were given"},
    {VRKERR_HASH_NOT_FOUND, "no file carries these name hashes"},
    {VRKERR_HASH_TABLE_IO, "reading or writing the hash table failed"},
    {VRKERR_BAD_INDEX, "index out of range"},
    {VRKERR_SIGNATURE_IO, "reading or writing the signature failed"},
    {VRKERR_HEADER_IO, "reading or writing the header failed"},
    {VRKERR_NO_MEMORY, "out of memory"},
    {VRKERR_NULL_BLOCK, "a block table entry is missing"},
    {VRKERR_BLOCK_TABLE_IO, "reading or writing the block table failed"},
    {VRKERR_NO_PATCH_LIST, "no patch list"},
    {VRKERR_NO_KEY, "neither a name nor a block index was given"},
    {VRKERR_NOT_FOUND, "no such file in the archive"},
    {VRKERR_EXISTS, "a file of that name is already in the archive"},
    {VRKERR_TABLE_FULL, "the hash table is full"},
    {VRKERR_BAD_EXTENSION, "an advanced archive's path must end in .vrk"},
    {VRKERR_ADV_NOT_FOUND, "no such file in the archive"},
    {VRKERR_CHECKSUM_IO, "reading or writing a checksum failed"},
    {VRKERR_CHECKSUM, "checksum mismatch: the data is damaged"},
    {VRKERR_NO_PACKET, "no archive"},
    {VRKERR_EMPTY_PACKET, "the archive holds no files"},
    {VRKERR_NO_BLOCK, "no current patch record"},
    {VRKERR_PATCH_DATA_IO, "reading or writing patch data failed"},
    {VRKERR_WRITE_PATCH_HEADER, "writing the patch header failed"},
    {VRKERR_NO_BUILDER, "no patch builder"},
    {VRKERR_READ_ONLY, "the archive is open read-only"},
    {VRKERR_BUFFER_TOO_SMALL, "the buffer is too small"},
    {VRKERR_BUSY, "another process is changing the archive; try again"},
    {VRKERR_NEEDS_RECOVERY, "an interrupted change must be settled first: this process cannot write the archive, or the files beside it are not the ones the change left"},
};

}  // namespace

const char* VrkErrorText(int code) {
  for (const CodeText& t : kTexts)
    if (t.code == code) return t.text;
  return "an unknown error code";
}
