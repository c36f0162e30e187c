#include "FuzzMutate.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "FuzzLayout.h"
#include "FuzzListText.h"
#include "FuzzPlain.h"
#include "FuzzRepair.h"

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace orvel_fuzz {

namespace {

// Room the default mutator gets to insert bytes into one buffer.
constexpr size_t kGrowth = 1024;
// Longest run of bytes mutated in place inside a table or record.
constexpr size_t kMaxWindow = 40;

size_t Pick(Rng& rng, size_t n) { return n ? rng() % n : 0; }

// libFuzzer's own byte mutations on a whole buffer.
void MutateBytes(std::string& s, size_t cap) {
  const size_t size = std::min(s.size(), cap);
  s.resize(std::max<size_t>(std::min(cap, size + kGrowth), 1));
  s.resize(LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(&s[0]), size, s.size()));
}

// The parts of a file worth aiming at, in its plain view; the whole file is
// always one of them.
std::vector<Span> Parts(const FuzzFile& f) {
  const std::string& s = f.bytes;
  std::vector<Span> parts{{0, s.size(), true}};  // first, see MutatePlain
  if (IsTableFile(f)) {
    parts.push_back(SideHeader(s));
    parts.push_back(SideBlockTable(s));
    parts.push_back(SideHashTable(s));
  } else if (IsBasicArchive(f)) {
    parts.push_back(BasicHeader(s));
    parts.push_back(BasicBlockTable(s));
    parts.push_back(BasicHashTable(s));
  } else if (IsAdvancedArchive(f)) {
    parts.push_back(FitSpan(s, 8, 1, 52, 0));  // the header copy the probe reads
  } else if (f.kind == kListFile) {
    parts.push_back(ListRecord(s));
    parts.push_back(ListText(s));
  }
  parts.erase(std::remove_if(parts.begin(), parts.end(),
                             [](const Span& p) { return !p.valid || p.size == 0; }),
              parts.end());
  return parts;
}

// A few bytes inside one part mutated in place; the layout stays.
void MutateWindow(std::string& s, Span part, Rng& rng) {
  const size_t size = 1 + Pick(rng, std::min(part.size, kMaxWindow));
  const size_t at = part.at + Pick(rng, part.size - size + 1);
  std::string window = s.substr(at, size);
  const size_t n = LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(&window[0]), size, size);
  std::memcpy(&s[at], window.data(), n);
}

// One aligned word of a part set to a value that tends to matter for counts,
// offsets and sizes.
void SetWord(std::string& s, Span part, Rng& rng) {
  if (part.size < 4) return;
  const size_t at = part.at + 4 * Pick(rng, part.size / 4);
  const uint32_t old = GetWord(s, at);
  const uint32_t size = static_cast<uint32_t>(s.size());
  const uint32_t other = GetWord(s, part.at + 4 * Pick(rng, part.size / 4));
  const uint32_t values[] = {
      0,           1,       2,        0xFFFFFFFFu, 0x7FFFFFFFu,
      0x80000000u, size,    size - 1, size + 1,    old + 1,
      old - 1,     old * 2, old / 2,  other,       1u << Pick(rng, 32),
      60,          56,      40,       48,          static_cast<uint32_t>(rng())};
  PutWord(s, at, values[Pick(rng, sizeof values / sizeof values[0])]);
}

// One record of a table copied over another (duplicate entries, swapped
// links), with the record size guessed from the part.
void CopyRecord(std::string& s, Span part, Rng& rng) {
  const size_t record = part.size % 36 == 0 ? 36 : part.size % 28 == 0 ? 28 : 20;
  const size_t count = part.size / record;
  if (count < 2) return;
  const size_t from = part.at + record * Pick(rng, count);
  const size_t to = part.at + record * Pick(rng, count);
  std::memmove(&s[to], &s[from], record);
}

// The name list as text: of the list side file, or of a basic archive.
bool MutateListText(FuzzFile& f, size_t maxFileSize) {
  std::string text;
  if (f.kind == kListFile) {
    if (!DecodeListSide(f.bytes, &text)) return false;
    MutateBytes(text, maxFileSize / 2);
    EncodeListSide(f.bytes, text);
    return true;
  }
  if (!IsBasicArchive(f) || !DecodeBasicList(f.bytes, &text)) return false;
  MutateBytes(text, maxFileSize / 2);
  return EncodeBasicList(f.bytes, text, maxFileSize);
}

// Mostly small edits in place inside one part (tables keep their layout,
// so that the structural checks pass more often than not), now and then a
// free mutation of the whole file or of the name list.
void MutatePlain(FuzzFile& f, Rng& rng, size_t maxFileSize) {
  const std::vector<Span> parts = Parts(f);
  // parts[0] is the whole file; the named parts get three picks in four.
  const Span part = parts.size() > 1 && Pick(rng, 4) ? parts[1 + Pick(rng, parts.size() - 1)]
                    : parts.empty()                  ? Span{}
                                                     : parts[0];
  // A list side file is mostly its text; edits of the stream itself seldom
  // decode.
  if (f.kind == kListFile && Pick(rng, 2) && MutateListText(f, maxFileSize)) return;
  switch (Pick(rng, 8)) {
    case 0:
      MutateBytes(f.bytes, maxFileSize);
      break;
    case 1:
      if (MutateListText(f, maxFileSize)) break;
      [[fallthrough]];
    case 2:
    case 3:
    case 4:
      if (part.valid) MutateWindow(f.bytes, part, rng);
      break;
    case 5:
    case 6:
      SetWord(f.bytes, part, rng);
      break;
    default:
      CopyRecord(f.bytes, part, rng);
  }
}

// Which files are there: one left out, one more (a copy under any name), or
// one renamed.
void MutateSet(FuzzFiles& files, Rng& rng) {
  switch (Pick(rng, 4)) {
    case 0:
      if (!files.empty()) files.erase(files.begin() + Pick(rng, files.size()));
      break;
    case 1:
      if (!files.empty() && files.size() < kMaxFiles) {
        FuzzFile copy = files[Pick(rng, files.size())];
        copy.kind = static_cast<uint8_t>(Pick(rng, kKinds));
        files.push_back(copy);
      }
      break;
    case 2:
      if (!files.empty())
        files[Pick(rng, files.size())].kind = static_cast<uint8_t>(Pick(rng, kKinds));
      break;
    default:
      if (files.size() > 1) std::swap(files[0], files[1 + Pick(rng, files.size() - 1)]);
  }
}

size_t Emit(const FuzzFiles& files, uint8_t* out, size_t maxSize) {
  const std::string joined = JoinFiles(files);
  if (joined.size() > maxSize) return 0;
  std::memcpy(out, joined.data(), joined.size());
  return joined.size();
}

}  // namespace

void MutateFile(FuzzFiles& files, size_t which, Rng& rng, size_t maxFileSize) {
  FuzzFile& f = files[which];
  if (Pick(rng, 8) == 0) {
    MutateBytes(f.bytes, maxFileSize);  // the bytes as stored
  } else {
    ToPlain(f);
    MutatePlain(f, rng, maxFileSize);
    ToStored(f);
  }
  if (Pick(rng, 16) != 0) RepairCheckSums(files, &f);
}

void MutateFiles(FuzzFiles& files, Rng& rng, size_t maxSize) {
  if (files.empty() || Pick(rng, 10) == 0) {
    MutateSet(files, rng);
    RepairCheckSums(files);
    return;
  }
  const size_t which = Pick(rng, files.size());
  const size_t others = JoinFiles(files).size() - files[which].bytes.size();
  if (others < maxSize) MutateFile(files, which, rng, maxSize - others);
}

size_t MutateContainer(uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
  Rng rng(seed);
  FuzzFiles files = SplitFiles(data, size);
  MutateFiles(files, rng, maxSize);
  if (const size_t n = Emit(files, data, maxSize)) return n;
  return LLVMFuzzerMutate(data, size, maxSize);
}

// A file of the second input takes the place of the first input's file of
// the same kind (or joins it), so that side files of different archives meet.
size_t CrossContainers(const uint8_t* data1, size_t size1, const uint8_t* data2, size_t size2,
                       uint8_t* out, size_t maxOut, unsigned seed) {
  Rng rng(seed);
  FuzzFiles files = SplitFiles(data1, size1);
  const FuzzFiles from = SplitFiles(data2, size2);
  if (from.empty()) return 0;
  const FuzzFile& f = from[Pick(rng, from.size())];
  if (FuzzFile* same = FindKind(files, f.kind))
    *same = f;
  else if (files.size() < kMaxFiles)
    files.push_back(f);
  RepairCheckSums(files);
  return Emit(files, out, maxOut);
}

size_t MutateSingleFile(uint8_t kind, uint8_t* data, size_t size, size_t maxSize, unsigned seed) {
  Rng rng(seed);
  FuzzFiles files{{kind, std::string(reinterpret_cast<const char*>(data), size)}};
  MutateFile(files, 0, rng, maxSize);
  const std::string& out = files[0].bytes;
  if (out.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

}  // namespace orvel_fuzz
