// CVrkSalvage: tells the variant by the signature and serves what the
// variant's reader found.
#include "orvel/VrkSalvage.h"

#include <cstring>
#include <memory>

#include "advance/AdvancePaths.h"
#include "archive/BasicFormat.h"
#include "archive/SalvageState.h"
#include "codec/checksum_crc.h"
#include "frame/ErrorCode.h"

using namespace orvel;

namespace {

// Flag of the advanced variant in the word after the signature.
constexpr uint32_t kAdvancedFlag = 8;
constexpr uint32_t kChecksumBytes = 4;
constexpr size_t kMaxPath = 260;

bool HasTableSideFile(const char* path) {
  const size_t n = std::strlen(path);
  if (n >= kMaxPath || !HasArchiveExtension(path)) return false;
  char side[kMaxPath];
  SideFilePath(path, kTableFileExtension, side);
  return DiskFileExists(side) != 0;
}

// Reads the archive at `path` into a new state; null with the reason in
// g_nVrkErrCode.
CVrkSalvage::State* OpenState(const char* path) {
  std::unique_ptr<CVrkSalvage::State> state(new CVrkSalvage::State());
  if (!state) return SetError(VRKERR_NO_MEMORY), nullptr;
  state->compressor = new CCompressBuffer();
  if (!state->compressor) return SetError(VRKERR_NO_MEMORY), nullptr;

  SalvageInput archive(path);
  if (archive.handle == kInvalidFile) return SetError(VRKERR_OPEN_FILE), nullptr;
  // The signature, and the flags word that both variants keep at offset 20.
  // An advanced archive has its own header in the table side file, so a
  // ".vrk" with one beside it is salvaged as advanced whatever its first
  // bytes say.
  unsigned char head[24] = {};
  const bool hasSignature = archive.Read(head, sizeof head, 0) &&
                            std::memcmp(head, basic::kSignature, basic::kSignatureSize) == 0;
  uint32_t flags = 0;
  std::memcpy(&flags, head + 20, sizeof flags);
  state->advanced = (hasSignature && (flags & kAdvancedFlag)) || HasTableSideFile(path);
  if (!hasSignature && !state->advanced) return SetError(VRKERR_BAD_SIGNATURE), nullptr;
  if (state->advanced ? !SalvageAdvancedArchive(path, state.get())
                      : !SalvageBasicArchive(&archive, state.get()))
    return nullptr;
  return state.release();
}

}  // namespace

CVrkSalvage::CVrkSalvage() : m_state(nullptr) {}

CVrkSalvage::~CVrkSalvage() { Close(); }

void CVrkSalvage::Close() {
  delete m_state;
  m_state = nullptr;
}

int CVrkSalvage::Open(const char* path) {
  Close();
  if (!path) return SetError(VRKERR_NULL_PATH), 0;
  // The readers keep their bookkeeping in standard containers.
  try {
    m_state = OpenState(path);
  } catch (...) {
    return SetError(VRKERR_NO_MEMORY), 0;
  }
  return m_state ? (SetError(VRKERR_OK), 1) : 0;
}

unsigned int CVrkSalvage::GetEntryCount() const { return m_state ? m_state->count : 0; }

unsigned int CVrkSalvage::GetLostEntryCount() const { return m_state ? m_state->lost : 0; }

int CVrkSalvage::IsAdvanced() const { return m_state && m_state->advanced ? 1 : 0; }

unsigned int CVrkSalvage::GetPacketFlags() const { return m_state ? m_state->flags : 0; }

void CVrkSalvage::GetPacketVersion(unsigned int* versionHigh, unsigned int* versionLow,
                                   unsigned int* baseVersion) const {
  if (versionHigh) *versionHigh = m_state ? m_state->versionHigh : 0;
  if (versionLow) *versionLow = m_state ? m_state->versionLow : 0;
  if (baseVersion) *baseVersion = m_state ? m_state->baseVersion : 0;
}

int CVrkSalvage::GetEntry(unsigned int index, VrkSalvageEntry* out) const {
  if (!m_state || !out || index >= m_state->count) return 0;
  *out = m_state->entries[index];
  return 1;
}

int CVrkSalvage::NameEntry(const char* name) {
  return m_state && name && m_state->Name(name, true) ? 1 : 0;
}

int CVrkSalvage::ReadEntry(unsigned int index, int decoded, void** data) {
  if (!m_state || !data || index >= m_state->count) return VRK_SALVAGE_OUTSIDE;
  *data = nullptr;
  const VrkSalvageEntry& e = m_state->entries[index];
  // An advanced record is followed by the checksum of its stored bytes.
  const uint32_t trailer = m_state->advanced ? kChecksumBytes : 0;
  const uint64_t count = uint64_t{e.storedSize} + trailer;
  if (e.offset < basic::kDataStart || e.offset + count > m_state->archiveSize)
    return VRK_SALVAGE_OUTSIDE;
  SalvageBlock stored(static_cast<unsigned char*>(VrkAlloc(count ? count : 1)));
  if (!stored) return VRK_SALVAGE_NO_MEMORY;
  if (count && ReadDiskFileAt(m_state->archive, stored.get(), static_cast<unsigned>(count),
                              e.offset) != count)
    return VRK_SALVAGE_OUTSIDE;
  if (trailer) {
    uint32_t crc;
    std::memcpy(&crc, stored.get() + e.storedSize, sizeof crc);
    if (Crc32(stored.get(), e.storedSize) != crc) return VRK_SALVAGE_CHECKSUM;
  }
  if (!(e.flags & basic::kFileCompressed)) {
    if (e.storedSize != e.originalSize) return VRK_SALVAGE_UNDECODABLE;
    *data = stored.release();
    return VRK_SALVAGE_OK;
  }
  if (!IsPlausibleExpansion(e.storedSize, e.originalSize)) return VRK_SALVAGE_UNDECODABLE;
  SalvageBlock out(static_cast<unsigned char*>(VrkAlloc(uint64_t{e.originalSize} + 1)));
  if (!out) return VRK_SALVAGE_NO_MEMORY;
  if (!m_state->compressor->Decompress(stored.get(), e.storedSize, e.originalSize, out.get()))
    return VRK_SALVAGE_UNDECODABLE;
  *data = decoded ? out.release() : stored.release();
  return VRK_SALVAGE_OK;
}

void CVrkSalvage::FreeBuffer(void* data) { VrkFree(data); }
