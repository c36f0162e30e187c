// Journals left by the previous build (version 1, exchanged files known by
// device and inode): rolled back where that still decides, refused with
// nothing changed where it does not, and never a reason to touch the files
// it named as temporary or aside files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/TempDir.h"
#include "frame/ArchiveGuard.h"
#include "frame/JournalFormat.h"
#include "orvel/VrkErrors.h"

namespace orvel_test {
namespace {

namespace fs = std::filesystem;
using orvel::journal::Checksum;

void Word(std::string& out, uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); }

// A version 1 journal: its files (name, committed size) and its records
// (tag, file, offset, bytes).
struct Record {
  uint32_t tag, file, offset;
  std::string bytes;
};
std::string OldJournal(const std::vector<std::pair<std::string, uint32_t>>& files,
                       const std::vector<Record>& records) {
  std::string out = "VRKJ";
  Word(out, 1);
  Word(out, static_cast<uint32_t>(files.size()));
  for (const auto& f : files) {
    Word(out, f.second);
    Word(out, static_cast<uint32_t>(f.first.size()));
    out += f.first;
  }
  Word(out, Checksum(0, out.data(), out.size()));
  for (const Record& r : records) {
    std::string head;
    Word(head, r.tag);
    Word(head, r.file);
    Word(head, r.offset);
    Word(head, static_cast<uint32_t>(r.bytes.size()));
    const uint32_t sum = Checksum(Checksum(0, head.data(), 16), r.bytes.data(), r.bytes.size());
    Word(head, sum);
    out += head + r.bytes;
  }
  return out;
}

std::string Inode(const std::string& path) {
  struct stat st;
  EXPECT_EQ(stat(path.c_str(), &st), 0);
  const uint64_t device = st.st_dev, inode = st.st_ino;
  return std::string(reinterpret_cast<const char*>(&device), 8) +
         std::string(reinterpret_cast<const char*>(&inode), 8);
}

constexpr uint32_t kAbsent = 0xFFFFFFFFu;

// An update cut short: its old bytes go back and what it appended goes; the
// temporary and aside names it listed as absent hold the user's files now,
// and they stay.
TEST(OldJournal, AnUpdateIsRolledBackAndTheNamesItListedStayUntouched) {
  TempDir dir;
  const std::string archive = dir / "b.pak";
  const std::string committed = "committed archive bytes";
  std::string changed = committed;
  changed.replace(3, 4, "XXXX");
  WriteFileBytes(archive, changed + "appended");
  WriteFileBytes(archive + "temp", "user temp");
  WriteFileBytes(archive + "old", "user old");
  WriteFileBytes(archive + "-journal",
                 OldJournal({{"b.pak", static_cast<uint32_t>(committed.size())},
                             {"b.paktemp", kAbsent},
                             {"b.pakold", kAbsent}},
                            {{1, 0, 3, committed.substr(3, 4)}}));
  EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(archive.c_str()), VRKERR_OK);
  EXPECT_EQ(ReadFileBytes(archive), committed);
  EXPECT_EQ(ReadFileBytes(archive + "temp"), "user temp");
  EXPECT_EQ(ReadFileBytes(archive + "old"), "user old");
  EXPECT_FALSE(fs::exists(archive + "-journal"));
}

// An exchange of a replacement: in the directory it ran in, the inode still
// tells that it was made, and it is undone.
TEST(OldJournal, AnExchangeIsUndoneWhereItsInodeStillDecides) {
  TempDir dir;
  const std::string target = dir / "a.vrk", replacement = dir / "n.vrk";
  WriteFileBytes(target, "new archive");  // exchanged: the new file is in place
  WriteFileBytes(replacement, "old archive");
  WriteFileBytes(target + "-journal", OldJournal({{"a.vrk", 11}, {"n.vrk", 11}},
                                                 {{4, 0, 1, Inode(target)}}));
  EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(target.c_str()), VRKERR_OK);
  EXPECT_EQ(ReadFileBytes(target), "old archive");
  EXPECT_EQ(ReadFileBytes(replacement), "new archive");
  EXPECT_FALSE(fs::exists(target + "-journal"));
}

// The same journal in a copied directory names an inode no file has: the
// open is refused and nothing changes, the journal included. Records of
// aside files (builds before exchanges) are refused alike.
TEST(OldJournal, UndecidableJournalsAreRefusedWithNothingChanged) {
  TempDir dir;
  const std::string target = dir / "a.vrk", replacement = dir / "n.vrk";
  WriteFileBytes(target, "new archive");
  WriteFileBytes(replacement, "old archive");
  const std::string elsewhere = std::string(16, '\x7F');
  const std::string journals[] = {
      OldJournal({{"a.vrk", 11}, {"n.vrk", 11}}, {{4, 0, 1, elsewhere}}),
      OldJournal({{"a.vrk", 11}, {"a.vrktemp", 11}, {"a.vrkold", kAbsent}},
                 {{2, 0, 1, std::string("\x02\0\0\0", 4)}}),
  };
  for (const std::string& journal : journals) {
    WriteFileBytes(target + "-journal", journal);
    EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(target.c_str()), VRKERR_NEEDS_RECOVERY);
    EXPECT_EQ(ReadFileBytes(target), "new archive");
    EXPECT_EQ(ReadFileBytes(replacement), "old archive");
    EXPECT_EQ(ReadFileBytes(target + "-journal"), journal);
  }
}

// A file under the journal's name that is not a journal of this library, or
// one of a later version, is not deleted either.
TEST(OldJournal, AFileThatIsNoJournalOfOursIsLeftAlone) {
  TempDir dir;
  const std::string target = dir / "a.vrk";
  WriteFileBytes(target, "archive");
  std::string later = OldJournal({{"a.vrk", 7}}, {});
  later[4] = 9;
  for (const std::string& foreign : {std::string("notes of mine"), later}) {
    WriteFileBytes(target + "-journal", foreign);
    EXPECT_EQ(orvel::ArchiveGuard::RecoverBeforeOpen(target.c_str()), VRKERR_NEEDS_RECOVERY);
    EXPECT_EQ(ReadFileBytes(target + "-journal"), foreign);
    EXPECT_EQ(ReadFileBytes(target), "archive");
  }
}

}  // namespace
}  // namespace orvel_test
