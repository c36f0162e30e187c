// The name list: names one after another in one text buffer, each followed
// by a line feed, plus an index of (offset, length) entries. The text is the
// advanced archive's list side file, so it always ends in a NUL byte.
#include "codec/FileNameList.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "frame/AssertReport.h"

namespace orvel {
namespace {

constexpr const char* kSource = "FileNameList.cpp";
constexpr int kIndexStep = 8;
constexpr int kTextFactor = 8;

// A zeroed block from the allocation rule, or null.
void* AllocZeroed(size_t bytes) {
  void* p = VrkAlloc(bytes);
  if (p) std::memset(p, 0, bytes);
  return p;
}

// The size to grow to: the larger of the fixed step and doubling, so that
// appending n names costs O(n) in all; falls back to the fixed step when
// doubling would not fit an int. 0 when not even that fits.
int64_t GrownSize(int64_t used, int64_t step) {
  const int64_t doubled = used + (step > used ? step : used);
  if (doubled <= INT_MAX) return doubled;
  const int64_t stepped = used + step;
  return stepped <= INT_MAX ? stepped : 0;
}

}  // namespace

CFileNameList::CFileNameList()
    : m_lpKeyName(nullptr),
      m_szBuffer(nullptr),
      m_nBufferSize(0),
      m_nKeyNameCount(0),
      m_nMaxKeyName(0),
      m_nMaxBufferSize(0) {}

CFileNameList::~CFileNameList() { CFileNameList::Clear(); }

void CFileNameList::Clear() {
  VrkFree(m_lpKeyName);
  VrkFree(m_szBuffer);
  m_lpKeyName = nullptr;
  m_szBuffer = nullptr;
  m_nBufferSize = 0;
  m_nKeyNameCount = 0;
  m_nMaxKeyName = 0;
  m_nMaxBufferSize = 0;
}

void CFileNameList::Reserve(int count, int buf_size) {
  bool ok = true;
  if (count < 1) {
    ReportAssert("count>0", kSource, 64);
    ok = false;
  }
  if (buf_size < 1) {
    ReportAssert("buf_size>0", kSource, 65);
    ok = false;
  }
  if (!ok) return;
  // Both arrays are obtained before the old ones go, so a failure leaves the
  // list as it was.
  auto* entries = static_cast<NameEntry*>(
      AllocZeroed(sizeof(NameEntry) * static_cast<size_t>(count)));
  if (!entries) {
    ReportAssert("m_lpKeyName", kSource, 83);
    return;
  }
  auto* text = static_cast<char*>(AllocZeroed(static_cast<size_t>(buf_size)));
  if (!text) {
    VrkFree(entries);
    ReportAssert("m_szBuffer", kSource, 86);
    return;
  }
  Clear();
  m_lpKeyName = entries;
  m_nMaxKeyName = count;
  m_szBuffer = text;
  m_nMaxBufferSize = buf_size;
}

void CFileNameList::AddName(const char* name) {
  if (!name || name[0] == '\0') return;
  if (m_nKeyNameCount < 0 || m_nMaxKeyName < 0) {
    ReportAssert("(m_nKeyNameCount>=0)&&(m_nMaxKeyName>=0)", kSource, 98);
    return;
  }
  if (m_nMaxBufferSize < 0 || m_nBufferSize < 0) {
    ReportAssert("(m_nMaxBufferSize>=0)&&(m_nBufferSize>=0)", kSource, 99);
    return;
  }
  const int64_t length = static_cast<int64_t>(std::strlen(name)) + 1;

  // Both growths are prepared before anything changes, so a failed
  // allocation leaves the list as it was.
  NameEntry* entries = nullptr;
  int64_t maxEntries = m_nMaxKeyName;
  if (m_nKeyNameCount >= m_nMaxKeyName) {
    maxEntries = GrownSize(m_nKeyNameCount, kIndexStep);
    if (maxEntries <= 0) {
      ReportAssert("(m_nKeyNameCount+8)>0", kSource, 103);
      return;
    }
    entries = static_cast<NameEntry*>(
        AllocZeroed(sizeof(NameEntry) * static_cast<size_t>(maxEntries)));
    if (!entries) {
      ReportAssert("temp_ary", kSource, 105);
      return;
    }
  }

  char* text = nullptr;
  int64_t maxText = m_nMaxBufferSize;
  if (m_nMaxBufferSize <= m_nBufferSize + length) {
    // The text step is eight times the name that did not fit.
    maxText = length <= INT_MAX / kTextFactor
                  ? GrownSize(m_nBufferSize, length * kTextFactor)
                  : 0;
    if (maxText <= 0) {
      VrkFree(entries);
      ReportAssert("(m_nBufferSize+length*8)>0", kSource, 120);
      return;
    }
    text = static_cast<char*>(AllocZeroed(static_cast<size_t>(maxText)));
    if (!text) {
      VrkFree(entries);
      ReportAssert("temp_buf", kSource, 122);
      return;
    }
  }

  if (entries) {
    if (m_nKeyNameCount > 0)
      std::memcpy(entries, m_lpKeyName,
                  sizeof(NameEntry) * static_cast<size_t>(m_nKeyNameCount));
    VrkFree(m_lpKeyName);
    m_lpKeyName = entries;
    m_nMaxKeyName = static_cast<int>(maxEntries);
  }
  if (text) {
    if (m_nBufferSize > 0)
      std::memcpy(text, m_szBuffer, static_cast<size_t>(m_nBufferSize));
    VrkFree(m_szBuffer);
    m_szBuffer = text;
    m_nMaxBufferSize = static_cast<int>(maxText);
  }

  const int offset = m_nBufferSize;
  std::memcpy(m_szBuffer + offset, name, static_cast<size_t>(length - 1));
  m_szBuffer[offset + length - 1] = '\n';
  NameEntry& entry = m_lpKeyName[m_nKeyNameCount];
  entry.offset = static_cast<unsigned int>(offset);
  entry.length = static_cast<unsigned int>(length);
  m_nBufferSize += static_cast<int>(length);
  ++m_nKeyNameCount;
}

void CFileNameList::RemoveName(const char* name) {
  if (!name || name[0] == '\0' || m_nKeyNameCount < 1 || !m_szBuffer ||
      !m_lpKeyName)
    return;
  const size_t nameLength = std::strlen(name);
  if (nameLength >= UINT_MAX) return;
  const unsigned int length = static_cast<unsigned int>(nameLength) + 1;

  // The probe is the name plus its line feed; lengths are compared first.
  int found = -1;
  for (int i = 0; i < m_nKeyNameCount; ++i) {
    const NameEntry& e = m_lpKeyName[i];
    if (e.length != length) continue;
    const char* text = m_szBuffer + e.offset;
    if (text[length - 1] == '\n' && std::memcmp(text, name, nameLength) == 0) {
      found = i;
      break;
    }
  }
  // The first entry (the list file's own name) is never removed.
  if (found < 1) return;
  if (static_cast<int64_t>(m_nBufferSize) - length < 1) return;

  const NameEntry removed = m_lpKeyName[found];
  const unsigned int tail = static_cast<unsigned int>(m_nBufferSize) -
                            (removed.offset + removed.length);
  std::memmove(m_szBuffer + removed.offset,
               m_szBuffer + removed.offset + removed.length, tail);
  m_nBufferSize -= static_cast<int>(length);
  std::memset(m_szBuffer + m_nBufferSize, 0, length);

  for (int i = found; i + 1 < m_nKeyNameCount; ++i) {
    m_lpKeyName[i] = m_lpKeyName[i + 1];
    m_lpKeyName[i].offset -= length;
  }
  --m_nKeyNameCount;
  m_lpKeyName[m_nKeyNameCount] = NameEntry();
}

bool CFileNameList::GetName(int index, char* buffer, int size) {
  if (!buffer || size < 1) return false;
  std::memset(buffer, 0, static_cast<size_t>(size));
  if (index < 0 || index >= m_nKeyNameCount || !m_szBuffer || !m_lpKeyName)
    return false;
  const NameEntry& e = m_lpKeyName[index];
  const unsigned int limit = static_cast<unsigned int>(size);
  const unsigned int copy = (e.length < limit ? e.length : limit) - 1;
  std::memcpy(buffer, m_szBuffer + e.offset, copy);
  return true;
}

}  // namespace orvel
