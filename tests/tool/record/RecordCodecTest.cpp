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
  TreeEntry file = Entry(EntryKind::kFile, "Src/Main.CPP");
  file.mode = 04755;
  file.seconds = -12345678901;  // before 1970
  file.nanoseconds = 999999999;
  record.Put(file);
  record.Put(Entry(EntryKind::kDirectory, "Src"));
  record.Put(Entry(EntryKind::kDirectory, "Src/empty"));
  record.Put(Entry(EntryKind::kLink, "Src/Main.link", "Main.CPP"));
  record.Put(Entry(EntryKind::kFile, std::string(255, 'p') + "/" + std::string(255, 'q')));
  const Decoded d = Decode(EncodeTreeRecord(record));
  ASSERT_EQ(d.outcome, RecordDecode::kRead) << d.problem;
  const std::vector<TreeEntry> want = record.Entries(), got = d.record.Entries();
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].kind, want[i].kind);
    EXPECT_EQ(got[i].name, want[i].name);
    EXPECT_EQ(got[i].mode, want[i].mode);
    EXPECT_EQ(got[i].seconds, want[i].seconds);
    EXPECT_EQ(got[i].nanoseconds, want[i].nanoseconds);
    EXPECT_EQ(got[i].target, want[i].target);
  }
}

// Names are system paths: parts of at most 255 bytes, at most 4096 in all,
// no NUL; a name shares no more than the name before has.
TEST(RecordCodec, NamesAndTargetsWithinSystemLimits) {
  const std::string part255(255, 'a');
  const auto one = [](RawEntry e) { return RawRecord(1, [&e](size_t) { return e; }); };
  const auto outcome = [](const std::string& bytes) { return Decode(bytes).outcome; };
  EXPECT_EQ(outcome(one({'f', 0, part255, ""})), RecordDecode::kRead);
  EXPECT_EQ(outcome(one({'f', 0, part255 + "a", ""})), RecordDecode::kDamaged);
  EXPECT_EQ(outcome(one({'f', 0, part255 + "\\" + part255 + "a", ""})), RecordDecode::kDamaged);
  std::string path;
  while (path.size() < 4096) path += path.empty() ? "x" : "/x";
  path.resize(4096);
  EXPECT_EQ(outcome(one({'d', 0, path, ""})), RecordDecode::kRead);
  EXPECT_EQ(outcome(one({'d', 0, path + "y", ""})), RecordDecode::kDamaged);
  EXPECT_EQ(outcome(one({'f', 0, std::string("a\0b", 3), ""})), RecordDecode::kDamaged);
  EXPECT_EQ(outcome(one({'l', 0, "l", std::string(4096, 't')})), RecordDecode::kRead);
  EXPECT_EQ(outcome(one({'l', 0, "l", std::string(4097, 't')})), RecordDecode::kDamaged);
  EXPECT_EQ(outcome(one({'l', 0, "l", ""})), RecordDecode::kDamaged);
  // A part the shared bytes begin and the entry's own bytes go on with.
  const auto continued = [](size_t own) {
    return RawRecord(2, [own](size_t i) {
      return i ? RawEntry{'f', 201, std::string(own, 'b'), ""}
               : RawEntry{'f', 0, "d/" + std::string(199, 'a'), ""};
    });
  };
  EXPECT_EQ(outcome(continued(56)), RecordDecode::kRead);
  EXPECT_EQ(outcome(continued(57)), RecordDecode::kDamaged);
  // The second name shares one byte more than the first has.
  EXPECT_EQ(outcome(RawRecord(2, [](size_t i) { return RawEntry{'f', i ? 4u : 0u, "abc", ""}; })),
            RecordDecode::kDamaged);
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
