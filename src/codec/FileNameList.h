// An ordered list of names held as one line-feed separated text plus an
// index (the advanced archive's name list; the text is its list side file).
#ifndef ORVEL_CODEC_FILE_NAME_LIST_H
#define ORVEL_CODEC_FILE_NAME_LIST_H

#include "frame/Allocation.h"

namespace orvel {

struct NameEntry {
  unsigned int offset = 0;  // first byte of the name in m_szBuffer
  unsigned int length = 0;  // name length plus its line feed
};

// Names are stored byte for byte. Failed allocations are reported as
// assertions and leave the list unchanged and usable.
class CFileNameList : public VrkHeapObject {
 public:
  CFileNameList();
  virtual ~CFileNameList();
  CFileNameList(const CFileNameList&) = delete;
  CFileNameList& operator=(const CFileNameList&) = delete;

  virtual void Clear();
  // Empties the list and sizes it for `count` names and `buf_size` bytes.
  virtual void Reserve(int count, int buf_size);
  // Appends a name (null or empty: ignored; duplicates allowed).
  virtual void AddName(const char* name);
  // Removes the first entry equal to `name` byte for byte; entry 0 is never
  // removed.
  virtual void RemoveName(const char* name);
  // Copies name `index` (without its line feed) into `buffer`, at most
  // size - 1 bytes, zero-filled. False for a bad index, null buffer or
  // size < 1.
  virtual bool GetName(int index, char* buffer, int size);

  NameEntry* m_lpKeyName;
  char* m_szBuffer;
  int m_nBufferSize;
  int m_nKeyNameCount;
  int m_nMaxKeyName;
  int m_nMaxBufferSize;
};

}  // namespace orvel

#endif
