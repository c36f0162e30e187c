// The tree record's decoder on records vrk writes and on hostile ones: what
// it holds while decoding never passes RecordMemoryBound of the record's
// size, whatever shape the record has, and a record past it is refused.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "HeapMeter.h"
#include "RawRecord.h"
#include "tree/RecordCodec.h"
#include "tree/TreeRecord.h"

namespace vrktest {
namespace {

using vrk::DecodeTreeRecord;
using vrk::EncodeTreeRecord;
using vrk::EntryKind;
using vrk::RecordDecode;
using vrk::RecordMemoryBound;
using vrk::TreeEntry;
using vrk::TreeRecord;
using vrk::Owner;

struct Decoded {
  RecordDecode outcome;
  std::string problem;
  TreeRecord record;
  size_t peak;  // heap held at most while decoding
};

Decoded Decode(const std::string& bytes) {
  Decoded d{RecordDecode::kDamaged, "", TreeRecord(), 0};
  ResetHeapPeak();
  d.outcome = DecodeTreeRecord(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               &d.record, &d.problem);
  d.peak = HeapPeakGrowth();
  return d;
}

TreeEntry Entry(EntryKind kind, std::string name, std::string target = "") {
  TreeEntry e = TreeEntry::File(std::move(name));
  e.kind = kind;
  e.target = std::move(target);
  return e;
}

TEST(RecordCodec, WhatIsWrittenReadsBack) {
  TreeRecord record;
  const uint32_t daemon = record.AddOwner({1, 1, "daemon", "daemon"});
  const uint32_t unnamed = record.AddOwner({1234, 2345, "", ""});
  record.AddOwner({77, 77, "unused", "unused"});  // no entry refers to it
  TreeEntry file = Entry(EntryKind::kFile, "Src/Main.CPP");
  file.mode = 04755;
  file.seconds = -12345678901;  // before 1970
  file.nanoseconds = 999999999;
  file.owner = daemon;
  record.Put(file);
  record.Put(Entry(EntryKind::kHardLink, "Src/main.cpp", "Src/Main.CPP"));  // before the rest
  record.Put(Entry(EntryKind::kDirectory, "Src"));
  record.Put(Entry(EntryKind::kDirectory, "Src/empty"));
  record.Put(Entry(EntryKind::kLink, "Src/Main.link", "Main.CPP"));
  record.Put(Entry(EntryKind::kFile, std::string(255, 'p') + "/" + std::string(255, 'q')));
  TreeEntry aliased = Entry(EntryKind::kFile, "Src/line\nfeed");
  aliased.alias = 7;
  aliased.owner = unnamed;
  record.Put(aliased);
  record.Put(Entry(EntryKind::kFifo, "Src/pipe"));
  for (EntryKind kind : {EntryKind::kCharDevice, EntryKind::kBlockDevice}) {
    TreeEntry device = Entry(kind, std::string("dev") + static_cast<char>(kind));
    device.device = (uint64_t{259} << 32) | 0xFFFFFFFFu;
    record.Put(device);
  }
  const std::string bytes = EncodeTreeRecord(record);
  ASSERT_EQ(bytes[4], 2);
  const Decoded d = Decode(bytes);
  ASSERT_EQ(d.outcome, RecordDecode::kRead) << d.problem;
  const std::vector<TreeEntry> want = record.Entries(), got = d.record.Entries();
  ASSERT_EQ(got.size(), want.size());
  EXPECT_EQ(got.back().kind, EntryKind::kHardLink);  // hard links come last
  EXPECT_EQ(d.record.Owners().size(), 2u);
  for (const TreeEntry& w : want) {
    SCOPED_TRACE(w.name);
    const TreeEntry* g = d.record.FindExact(w.name);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->kind, w.kind);
    EXPECT_EQ(g->mode, w.mode);
    EXPECT_EQ(g->seconds, w.seconds);
    EXPECT_EQ(g->nanoseconds, w.nanoseconds);
    EXPECT_EQ(g->target, w.target);
    EXPECT_EQ(g->alias, w.alias);
    EXPECT_EQ(g->device, w.device);
    const vrk::Owner* wo = record.OwnerOf(w);
    const vrk::Owner* go = d.record.OwnerOf(*g);
    ASSERT_EQ(go == nullptr, wo == nullptr);
    if (wo) {
      EXPECT_EQ(go->uid, wo->uid);
      EXPECT_EQ(go->gid, wo->gid);
      EXPECT_EQ(go->user, wo->user);
      EXPECT_EQ(go->group, wo->group);
    }
  }
}

// A record vrk wrote before version 2 reads as it did: no owners, no aliases.
TEST(RecordCodec, Version1StillReads) {
  const std::vector<RawEntry> v1{{'d', 0, "Dir", ""}, {'f', 0, "Dir/A.txt", ""},
                                 {'l', 4, "link", "A.txt"}};
  const Decoded d = Decode(RawRecord(v1.size(), [&v1](size_t i) { return v1[i]; }));
  ASSERT_EQ(d.outcome, RecordDecode::kRead) << d.problem;
  ASSERT_EQ(d.record.Entries().size(), 3u);
  const TreeEntry* file = d.record.FindFile("dir/a.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->name, "Dir/A.txt");
  EXPECT_EQ(file->alias, 0u);
  EXPECT_EQ(d.record.OwnerOf(*file), nullptr);
  EXPECT_EQ(d.record.FindExact("Dir/link")->target, "A.txt");
}

// Each field of version 2 that can name what is not there, or hold what no
// system has, makes the record damaged; the same record with it right reads.
// Names are system paths: parts of at most 255 bytes, at most 4096 in all,
// no NUL; a name shares no more than the name before has.
TEST(RecordCodec, FieldsAndNamesAreChecked) {
  const RawOwner owner{1234, 2345, "user", "group"};
  const RawEntry file{'f', 0, "F", ""};
  auto with = [](RawEntry e, uint64_t RawEntry::*field, uint64_t value) {
    e.*field = value;
    return e;
  };
  const RawEntry link{'h', 0, "H", "F"};
  const auto v2 = [](std::vector<RawOwner> owners, std::vector<RawEntry> entries) {
    return RawRecord2(owners, entries);
  };
  const auto v1 = [](std::vector<RawEntry> entries) {
    return RawRecord(entries.size(), [&entries](size_t i) { return entries[i]; });
  };
  const std::string part255(255, 'a');
  std::string path;
  while (path.size() < 4096) path += path.empty() ? "x" : "/x";
  path.resize(4096);
  // A part the shared bytes begin and the entry's own bytes go on with.
  const auto continued = [&v1](size_t own) {
    return v1({{'f', 0, "d/" + std::string(199, 'a'), ""}, {'f', 201, std::string(own, 'b'), ""}});
  };
  const RecordDecode kRead = RecordDecode::kRead, kDamaged = RecordDecode::kDamaged;
  const struct {
    const char* label;
    std::string bytes;
    RecordDecode outcome;
  } cases[] = {
      {"every kind, rightly",
       v2({owner}, {with(file, &RawEntry::owner, 1), {'d', 0, "D", ""}, {'l', 0, "L", "/abs"},
                    {'p', 0, "P", ""}, with({'c', 0, "C", ""}, &RawEntry::device, 0x10305),
                    {'b', 0, "B", ""}, with({'f', 0, "G", ""}, &RawEntry::alias, 1), link}),
       kRead},
      {"owner index past the owners", v2({owner}, {with(file, &RawEntry::owner, 2)}), kDamaged},
      {"owner index without owners", v2({}, {with(file, &RawEntry::owner, 1)}), kDamaged},
      {"uid past 32 bits", v2({{uint64_t{1} << 32, 0, "", ""}}, {file}), kDamaged},
      {"gid past 32 bits", v2({{0, uint64_t{1} << 32, "", ""}}, {file}), kDamaged},
      {"user name with NUL", v2({{0, 0, std::string("a\0b", 3), ""}}, {file}), kDamaged},
      {"group name too long", v2({{0, 0, "", std::string(256, 'g')}}, {file}), kDamaged},
      {"longest names", v2({{0, 0, std::string(255, 'u'), std::string(255, 'g')}}, {file}), kRead},
      {"alias number twice",
       v2({}, {with(file, &RawEntry::alias, 3), with({'f', 0, "G", ""}, &RawEntry::alias, 3)}),
       kDamaged},
      {"alias number past 32 bits", v2({}, {with(file, &RawEntry::alias, uint64_t{1} << 32)}),
       kDamaged},
      {"hard link to nothing", v2({}, {file, {'h', 0, "H", "G"}}), kDamaged},
      {"hard link by the name folded", v2({}, {file, {'h', 0, "H", "f"}}), kDamaged},
      {"hard link to a directory", v2({}, {{'d', 0, "F", ""}, link}), kDamaged},
      {"hard link to a symbolic link", v2({}, {{'l', 0, "F", "x"}, link}), kDamaged},
      {"hard link to a hard link", v2({}, {file, link, {'h', 0, "I", "H"}}), kDamaged},
      {"hard link before its file", v2({}, {link, file}), kDamaged},
      {"hard link without target", v2({}, {file, {'h', 0, "H", ""}}), kDamaged},
      {"a name held twice", v2({}, {file, file}), kDamaged},
      {"a file and a FIFO of one name", v2({}, {file, {'p', 0, "F", ""}}), kDamaged},
      {"names differing in case", v2({}, {file, {'f', 0, "f", ""}}), kRead},
      {"a directory and a file of one name", v2({}, {file, {'d', 0, "F", ""}}), kRead},
      {"unknown kind", v2({}, {{'s', 0, "S", ""}}), kDamaged},
      // The kinds version 2 brought are not version 1's.
      {"hard link in version 1", v1({file, {'h', 0, "X", "F"}}), kDamaged},
      {"FIFO in version 1", v1({file, {'p', 0, "X", "F"}}), kDamaged},
      {"character device in version 1", v1({file, {'c', 0, "X", "F"}}), kDamaged},
      {"block device in version 1", v1({file, {'b', 0, "X", "F"}}), kDamaged},
      {"a part of 255 bytes", v1({{'f', 0, part255, ""}}), kRead},
      {"a part of 256 bytes", v1({{'f', 0, part255 + "a", ""}}), kDamaged},
      {"a later part of 256 bytes", v1({{'f', 0, part255 + "\\" + part255 + "a", ""}}), kDamaged},
      {"a path of 4096 bytes", v1({{'d', 0, path, ""}}), kRead},
      {"a path of 4097 bytes", v1({{'d', 0, path + "y", ""}}), kDamaged},
      {"a name with NUL", v1({{'f', 0, std::string("a\0b", 3), ""}}), kDamaged},
      {"a link target of 4096 bytes", v1({{'l', 0, "l", std::string(4096, 't')}}), kRead},
      {"a link target of 4097 bytes", v1({{'l', 0, "l", std::string(4097, 't')}}), kDamaged},
      {"an empty link target", v1({{'l', 0, "l", ""}}), kDamaged},
      {"a continued part of 255 bytes", continued(56), kRead},
      {"a continued part of 256 bytes", continued(57), kDamaged},
      {"sharing more than the name before has", v1({{'f', 0, "abc", ""}, {'f', 4, "abc", ""}}),
       kDamaged},
  };
  for (const auto& c : cases) {
    const Decoded d = Decode(c.bytes);
    EXPECT_EQ(d.outcome, c.outcome) << c.label << ": " << d.problem;
  }
  std::string later = RawRecord2({}, {file});
  later[4] = 3;
  EXPECT_EQ(Decode(later).problem, "attribute record of version 3, which this vrk does not read");
}

// Names are kept as spelled; a name given by a user finds its entry exactly,
// else regardless of case when only one entry matches so; the archive's
// names find the file stored under them.
TEST(TreeRecordLookup, ExactFirstThenUnambiguousCase) {
  TreeRecord record;
  record.Put(Entry(EntryKind::kFile, "A.txt"));
  TreeEntry second = Entry(EntryKind::kFile, "a.txt");
  second.alias = 4;
  record.Put(second);
  record.Put(Entry(EntryKind::kFile, "Only.txt"));
  record.Put(Entry(EntryKind::kDirectory, "Docs"));
  record.Put(Entry(EntryKind::kHardLink, "Twin", "Only.txt"));
  struct Case {
    const char* given;
    const char* found;  // null: none
  };
  const Case finds[] = {{"A.txt", "A.txt"}, {"a.txt", "a.txt"}, {"A.TXT", nullptr},
                        {"only.TXT", "Only.txt"}, {"docs", "Docs"}, {"twin", "Twin"},
                        {"missing", nullptr}};
  for (const Case& c : finds) {
    const TreeEntry* e = record.Find(c.given);
    EXPECT_EQ(e ? e->name : std::string(), c.found ? std::string(c.found) : std::string())
        << c.given;
  }
  const Case files[] = {{"a.txt", "A.txt"}, {"(alias)/4", "a.txt"}, {"(ALIAS)/4", "a.txt"},
                        {"(alias)/04", nullptr}, {"(alias)/5", nullptr}, {"twin", nullptr},
                        {"docs", nullptr}};
  for (const Case& c : files) {
    const TreeEntry* e = record.FindFile(c.given);
    EXPECT_EQ(e ? e->name : std::string(), c.found ? std::string(c.found) : std::string())
        << c.given;
  }
  EXPECT_EQ(record.NextAlias(), 5u);
  EXPECT_EQ(record.HardLinksTo("Only.txt").size(), 1u);
  EXPECT_EQ(record.AddOwner({1, 2, "a", "b"}), record.AddOwner({1, 2, "a", "b"}));
  EXPECT_NE(record.AddOwner({1, 2, "a", "b"}), record.AddOwner({1, 2, "", ""}));
  // Forgetting one of two names that differ in case leaves the other found
  // regardless of case; its alias is free again.
  EXPECT_TRUE(record.Forget("a.txt"));
  EXPECT_EQ(record.Find("A.TXT")->name, "A.txt");
  EXPECT_EQ(record.FindFile("(alias)/4"), nullptr);
  EXPECT_EQ(record.NextAlias(), 1u);
  EXPECT_TRUE(record.Forget("a.txt"));  // now the one of that name regardless of case
  EXPECT_EQ(record.Find("A.txt"), nullptr);
  EXPECT_FALSE(record.Forget("a.txt"));
}

// The archive's case: 100,000 names, each sharing 4088 bytes with the name
// before and adding a few, 14 bytes an entry and 4 KB a name.
TEST(RecordCodec, SharedNamesAreRefusedWithinTheBound) {
  const std::string bytes = SharedNamesRecord(100000);
  ASSERT_LT(bytes.size(), 1500000u);
  const Decoded d = Decode(bytes);
  EXPECT_EQ(d.outcome, RecordDecode::kRefused);
  EXPECT_EQ(d.problem, "the tree record is refused: it would take more than " +
                           std::to_string(RecordMemoryBound(bytes.size())) +
                           " bytes of memory (it is " + std::to_string(bytes.size()) +
                           " bytes stored)");
  EXPECT_TRUE(d.record.Empty());
  EXPECT_LE(d.peak, RecordMemoryBound(bytes.size()));
}

// Every shape that makes a few stored bytes stand for much memory, at entry
// counts from well inside the bound to well past it: decoding never holds
// more than the bound, small records are read and, once a count is refused,
// every larger one is.
TEST(RecordCodec, NoShapeHoldsMoreThanTheBound) {
  const std::string prefix = DeepPrefix();
  const std::string target(4096, 't');
  struct Shape {
    const char* label;
    std::function<RawEntry(size_t)> entry;
    size_t most = 120000;  // entries
  };
  const Shape shapes[] = {
      {"shared file names",
       [&](size_t i) {
         return i ? RawEntry{'f', prefix.size(), std::to_string(i), ""}
                  : RawEntry{'f', 0, prefix, ""};
       }},
      {"shared directory names",
       [&](size_t i) {
         return i ? RawEntry{'d', prefix.size(), "/" + std::to_string(i), ""}
                  : RawEntry{'d', 0, prefix, ""};
       }},
      {"long link targets",
       [&](size_t i) { return RawEntry{'l', 0, "l" + std::to_string(i), target}; }, 8000},
      {"short names", [](size_t i) { return RawEntry{'f', 0, std::to_string(i), ""}; }},
  };
  for (const Shape& shape : shapes) {
    bool refused = false;
    for (size_t count : {size_t{1000}, size_t{8000}, size_t{30000}, size_t{120000}}) {
      if (count > shape.most) break;
      const std::string bytes = RawRecord(count, shape.entry);
      const Decoded d = Decode(bytes);
      SCOPED_TRACE(std::string(shape.label) + ", " + std::to_string(count) + " entries");
      EXPECT_NE(d.outcome, RecordDecode::kDamaged) << d.problem;
      EXPECT_LE(d.peak, RecordMemoryBound(bytes.size()));
      if (count == 1000) {
        EXPECT_EQ(d.outcome, RecordDecode::kRead);
      }
      if (refused) {
        EXPECT_EQ(d.outcome, RecordDecode::kRefused);
      }
      refused = d.outcome == RecordDecode::kRefused;
    }
  }
}

// A large tree as it is packed: 300,000 files in 300 directories.
TEST(RecordCodec, RealTreesStayWellInside) {
  TreeRecord record;
  for (int d = 0; d < 300; ++d) {
    const std::string dir = "project/src/module" + std::to_string(d);
    record.Put(Entry(EntryKind::kDirectory, dir));
    for (int f = 0; f < 1000; ++f) {
      TreeEntry e = Entry(EntryKind::kFile, dir + "/Source" + std::to_string(f) + ".cpp");
      e.seconds = 1700000000 + f;
      e.nanoseconds = 123456789;
      record.Put(e);
    }
  }
  const std::string bytes = EncodeTreeRecord(record);
  const Decoded d = Decode(bytes);
  ASSERT_EQ(d.outcome, RecordDecode::kRead) << d.problem;
  EXPECT_EQ(d.record.Entries().size(), 300300u);
  EXPECT_LE(d.peak, RecordMemoryBound(bytes.size()));
}

}  // namespace
}  // namespace vrktest
