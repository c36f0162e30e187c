#include "patch/VrkAdvBuilder.h"

#include <array>
#include <cstring>
#include <new>
#include <set>
#include <vector>

#include "advance/AdvanceFormat.h"
#include "advance/VrkAdvance.h"
#include "frame/AssertReport.h"
#include "frame/ErrorCode.h"

namespace orvel {

namespace {

constexpr unsigned int kNameRoom = 256;  // names are at most 255 bytes

template <class T>
using LibVector = std::vector<T, VrkStlAllocator<T>>;
using HashKey = std::array<unsigned int, 3>;

}  // namespace

CVrkAdvBuilder::CVrkAdvBuilder(CVrkAdvance* packet)
    : m_piPacket(packet),
      m_pBlockList(new TPatchBlockList(kPatchListCapacity)),
      m_nVersionHigh(0),
      m_nVersionLow(0),
      m_nFormat(0),
      m_nDataCount(0),
      m_pData(nullptr),
      m_lpCurName(nullptr),
      m_pCurData(nullptr),
      m_szBlockFile(),
      m_hBlockFile(kInvalidFile),
      m_nBlockFileSize(0),
      m_bRemoteBlockFile(false),
      m_pRun(nullptr),
      m_nRunRoom(0),
      m_nRunAt(0),
      m_nRunLength(0),
      m_pAdvance(packet),
      m_szWriteFile(),
      m_hWriteFile(kInvalidFile),
      m_pOut(nullptr),
      m_nOutStart(0),
      m_nOutLength(0),
      m_aPendingFiles(),
      m_nPendingFiles(0),
      m_pEntry(nullptr),
      m_nEntryRoom(0),
      m_pCursorNode(nullptr),
      m_nCursorIndex(0) {}

CVrkAdvBuilder::~CVrkAdvBuilder() {
  ClearPatchData();
  delete m_pBlockList;
  CloseBlockFile();
  CloseWriteFile();
  VrkFree(m_pOut);
  VrkFree(m_pEntry);
  VrkFree(m_pRun);
}

void CVrkAdvBuilder::ClearPatchData() {
  VrkFree(m_pData);
  m_pData = nullptr;
  m_pCurData = nullptr;
  m_nVersionHigh = m_nVersionLow = m_nFormat = m_nDataCount = 0;
}

unsigned int CVrkAdvBuilder::CollectPatchBlocks() {
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), 0;
  if (!m_pBlockList && !(m_pBlockList = new TPatchBlockList(kPatchListCapacity)))
    return SetError(VRKERR_NO_MEMORY), 0;
  m_pBlockList->RemoveAll();
  CloseWriteFile();
  m_lpCurName = nullptr;
  m_pCursorNode = nullptr;
  if (m_piPacket->GetFileCount() == 0) return SetError(VRKERR_EMPTY_PACKET), 0;
  unsigned int base = 0;
  m_piPacket->GetPacketVersion(nullptr, nullptr, &base);

  // Every name of the name list counts, also beyond the file count: a file
  // removed by hashes leaves its name behind, and the names after it still
  // belong to files. A name listed twice is carried once.
  if (m_pAdvance->EnsureNames() != VRKERR_OK) return 0;
  const unsigned int names = m_pAdvance->NameCount();
  try {
    LibVector<PatchBlock> found;
    LibVector<unsigned int> keys;
    std::set<HashKey, std::less<HashKey>, VrkStlAllocator<HashKey>> seen;
    char name[kNameRoom];
    for (unsigned int i = 0; i < names; ++i) {
      if (m_piPacket->GetFileName(i, name, sizeof name) != VRKERR_OK) continue;
      if (std::strcmp(name, kListFileName) == 0) continue;
      unsigned int low = 0;
      m_piPacket->GetFileVersion(name, nullptr, &low);
      if (GlobalError() != VRKERR_OK || low <= base) continue;
      HashKey hash{};
      m_piPacket->GetFileHash(name, &hash[0], &hash[1], &hash[2]);
      if (!seen.insert(hash).second) continue;
      found.emplace_back(low, name);
      if (!found.back().lpName) throw std::bad_alloc();
      keys.push_back(low);
    }
    // The list ends up as adding each block with AddSorted would leave it,
    // without the quadratic walk.
    LibVector<unsigned int> order(found.size());
    OrderAsAddSorted(keys.data(), static_cast<unsigned int>(keys.size()), order.data());
    for (unsigned int index : order) m_pBlockList->AddTail(std::move(found[index]));
    if (m_pBlockList->m_nCount != found.size()) throw std::bad_alloc();
  } catch (const std::bad_alloc&) {
    m_pBlockList->RemoveAll();
    return SetError(VRKERR_NO_MEMORY), 0;
  }
  SetError(VRKERR_OK);
  return m_pBlockList->m_nCount;
}

void CVrkAdvBuilder::BeginPatchData(unsigned int count) {
  if (!m_piPacket) return (void)SetError(VRKERR_NO_PACKET);
  ClearPatchData();
  m_piPacket->GetPacketVersion(&m_nVersionHigh, &m_nVersionLow, nullptr);
  m_nFormat = 1;
  if (count == 0) return;
  m_pData = static_cast<PatchData*>(VrkAlloc(sizeof(PatchData) * size_t{count}));
  if (!m_pData) return (void)SetError(VRKERR_NO_MEMORY);
  std::memset(m_pData, 0, sizeof(PatchData) * size_t{count});
  m_nDataCount = count;
}

void CVrkAdvBuilder::GrowPatchData(unsigned int extra) {
  const uint64_t count = uint64_t{m_nDataCount} + extra;
  PatchData* grown = count <= 0xFFFFFFFFu
                         ? static_cast<PatchData*>(VrkAlloc(sizeof(PatchData) * count))
                         : nullptr;
  if (!grown && count > 0) {
    // The records stay as they were; callers see the count unchanged.
    ReportAssert("patch_new_data", "VrkAdvBuilder.cpp", 111);
    return (void)SetError(VRKERR_NO_MEMORY);
  }
  if (count > 0) std::memset(grown, 0, sizeof(PatchData) * count);
  if (m_nDataCount) std::memcpy(grown, m_pData, sizeof(PatchData) * m_nDataCount);
  VrkFree(m_pData);
  m_pData = grown;
  m_pCurData = nullptr;
  m_nDataCount = static_cast<unsigned int>(count);
}

const char* CVrkAdvBuilder::SelectPatchBlock(unsigned int index) {
  if (!m_pBlockList) return SetError(VRKERR_NO_PATCH_LIST), nullptr;
  if (index >= m_pBlockList->m_nCount) return SetError(VRKERR_BAD_INDEX), nullptr;
  m_lpCurName = nullptr;
  m_pCurData = nullptr;
  const TPatchBlockList::Node* node = m_pBlockList->m_pHead;
  unsigned int at = 0;
  if (m_pCursorNode && m_nCursorIndex <= index) {
    node = m_pCursorNode;
    at = m_nCursorIndex;
  }
  for (; at < index; ++at) node = node->pNext;
  m_pCursorNode = node;
  m_nCursorIndex = index;
  m_lpCurName = node->block.lpName;
  if (index < m_nDataCount) m_pCurData = &m_pData[index];
  SetError(VRKERR_OK);
  return m_lpCurName;
}

int CVrkAdvBuilder::FindPatchData(const char* name) {
  if (!name) return SetError(VRKERR_NULL_NAME), -1;
  if (!m_piPacket) return SetError(VRKERR_NO_PACKET), -1;
  unsigned int hash[3] = {0, 0, 0};
  SetError(VRKERR_OK);
  m_piPacket->GetFileHash(name, &hash[0], &hash[1], &hash[2]);
  const bool held = LastError() == VRKERR_OK;
  SetError(VRKERR_OK);
  if (!held) return -1;
  for (unsigned int i = 0; i < m_nDataCount; ++i) {
    const PatchData& r = m_pData[i];
    if (r.hash0 == hash[0] && r.hash1 == hash[1] && r.hash2 == hash[2])
      return static_cast<int>(i);
  }
  return -1;
}

PatchData* CVrkAdvBuilder::SelectPatchData(unsigned int index) {
  if (index >= m_nDataCount) return SetError(VRKERR_BAD_INDEX), nullptr;
  m_pCurData = &m_pData[index];
  return m_pCurData;
}

unsigned int CVrkAdvBuilder::GetPatchDataCount() { return m_nDataCount; }

void CVrkAdvBuilder::GetPatchVersion(unsigned int* high, unsigned int* low) {
  if (high) *high = m_nVersionHigh;
  if (low) *low = m_nVersionLow;
}

void CVrkAdvBuilder::SetPatchVersion(unsigned int high, unsigned int low) {
  m_nVersionHigh = high;
  m_nVersionLow = low;
}

void CVrkAdvBuilder::GetPatchDataVersion(unsigned int* high, unsigned int* low) {
  if (high) *high = m_pCurData ? m_pCurData->versionHigh : 0;
  if (low) *low = m_pCurData ? m_pCurData->versionLow : 0;
}

}  // namespace orvel
