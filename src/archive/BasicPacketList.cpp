// The list text (the decoded "(listfile)": lower-cased names, one per line)
// and the enumeration of names by index with a cursor that makes walking all
// indices in order cost one pass over the text.
#include <cstring>
#include <string_view>

#include "archive/BasicPacket.h"
#include "frame/ErrorCode.h"

namespace orvel {

void COrvelPacket::ResetListCursor() {
  m_bListCursorSet = false;
  m_nListCursorIndex = 0;
  m_nListCursorOffset = 0;
}

void COrvelPacket::ReleaseListText() {
  VrkFree(m_szListText);
  m_szListText = nullptr;
  m_nListLength = 0;
  m_nListCapacity = 0;
  ResetListCursor();
}

// Makes room for `extra` more characters and the NUL; the capacity at least
// doubles so that appending names costs amortised constant time.
bool COrvelPacket::ReserveListText(uint32_t extra) {
  const uint64_t need = uint64_t{m_nListLength} + extra + 1;
  if (m_szListText && need <= m_nListCapacity) return true;
  if (need >= 0xFFFFFFFFu) return false;
  uint64_t capacity = uint64_t{m_nListCapacity} * 2;
  if (capacity < need) capacity = need;
  if (capacity < 256) capacity = 256;
  if (capacity >= 0xFFFFFFFFu) capacity = need;
  char* grown = static_cast<char*>(VrkAlloc(capacity));
  if (!grown) return false;
  std::memset(grown, 0, capacity);
  if (m_szListText) std::memcpy(grown, m_szListText, m_nListLength);
  VrkFree(m_szListText);
  m_szListText = grown;
  m_nListCapacity = static_cast<uint32_t>(capacity);
  return true;
}

bool COrvelPacket::ListFileAdd(const char* name) {
  if (!name) return true;
  const uint32_t length = static_cast<uint32_t>(std::strlen(name));
  if (!ReserveListText(length + 1)) return false;
  std::memcpy(m_szListText + m_nListLength, name, length);
  m_nListLength += length;
  m_szListText[m_nListLength++] = '\n';
  m_szListText[m_nListLength] = '\0';
  ResetListCursor();
  return true;
}

// Removes the first line that equals `name` exactly. The first line has no
// line feed before it, so it is never removed.
void COrvelPacket::ListFileRemove(const char* name) {
  if (!name || !m_szListText) return;
  ResetListCursor();
  const size_t length = std::strlen(name);
  const std::string_view text(m_szListText, m_nListLength);
  size_t at = 0;
  for (;;) {
    at = text.find(name, at + 1, length);
    if (at == std::string_view::npos) return;
    if (text[at - 1] == '\n' && at + length < text.size() && text[at + length] == '\n') break;
  }
  const size_t tail = at + length + 1;
  std::memmove(m_szListText + at, m_szListText + tail, m_nListLength - tail + 1);
  m_nListLength -= static_cast<uint32_t>(tail - at);
}

int COrvelPacket::GetFileName(unsigned int index, char* buffer, int bufferSize) {
  if (!buffer || bufferSize < 1) return VRKERR_NULL_NAME;
  if (index >= GetFileCount()) return SetError(VRKERR_BAD_INDEX);
  if (!m_szListText) return SetError(VRKERR_NO_LIST_FILE);
  std::memset(buffer, 0, static_cast<size_t>(bufferSize));

  uint32_t line = 0;
  uint32_t start = 0;
  if (m_bListCursorSet && m_nListCursorIndex <= index) {
    line = m_nListCursorIndex;
    start = m_nListCursorOffset;
  }
  // Lines end at line feeds and carriage returns; empty pieces do not count.
  auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
  for (uint32_t pos = start; pos < m_nListLength;) {
    if (isBreak(m_szListText[pos])) {
      ++pos;
      continue;
    }
    uint32_t end = pos;
    while (end < m_nListLength && !isBreak(m_szListText[end])) ++end;
    if (line == index) {
      const uint32_t room = static_cast<uint32_t>(bufferSize) - 1;
      std::memcpy(buffer, m_szListText + pos, end - pos < room ? end - pos : room);
      m_bListCursorSet = true;
      m_nListCursorIndex = line;
      m_nListCursorOffset = pos;
      return SetError(VRKERR_OK);
    }
    ++line;
    pos = end;
  }
  return SetError(VRKERR_BAD_INDEX);
}

}  // namespace orvel
