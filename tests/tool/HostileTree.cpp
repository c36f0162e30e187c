#include "HostileTree.h"

#include <OrvelPacket.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tree/RecordCodec.h"

namespace fs = std::filesystem;

namespace vrktest {
namespace {

vrk::TreeEntry Entry(vrk::EntryKind kind, const std::string& name, uint32_t mode) {
  vrk::TreeEntry e;
  e.kind = kind;
  e.name = name;
  e.mode = mode;
  e.seconds = 1000000000;
  return e;
}

bool Below(const fs::path& path, const fs::path& dir) {
  auto p = path.begin();
  for (auto d = dir.begin(); d != dir.end(); ++d, ++p)
    if (p == path.end() || *p != *d) return false;
  return true;
}

}  // namespace

vrk::TreeEntry RecordFile(const std::string& name) {
  return Entry(vrk::EntryKind::kFile, name, 0644);
}

vrk::TreeEntry RecordDirectory(const std::string& name) {
  return Entry(vrk::EntryKind::kDirectory, name, 0755);
}

vrk::TreeEntry RecordLink(const std::string& name, const std::string& target) {
  vrk::TreeEntry e = Entry(vrk::EntryKind::kLink, name, 0777);
  e.target = target;
  return e;
}

void WriteRecord(const std::string& archive, const std::vector<vrk::TreeEntry>& entries,
                 unsigned level) {
  vrk::TreeRecord record;
  for (const vrk::TreeEntry& e : entries) record.Put(e);
  WriteRecordBytes(archive, vrk::EncodeTreeRecord(record), level);
}

void WriteRecordBytes(const std::string& archive, const std::string& bytes, unsigned level) {
  IOrvelPacket* p = g_piVrkSystem->LoadPacket(archive.c_str());
  ASSERT_NE(p, nullptr) << archive;
  p->BeginUpdate();
  EXPECT_EQ(p->AddFileFromMemory(vrk::kRecordFileName, VRK_ADD_REPLACE, bytes.data(),
                                 static_cast<unsigned>(bytes.size()), 0, level),
            0);
  EXPECT_EQ(p->EndUpdate(), 0);
  g_piVrkSystem->FreePacket(p);
}

std::vector<std::string> ResolvingOutside(const std::string& dir) {
  const fs::path top = fs::canonical(dir);
  std::vector<std::string> outside;
  for (auto it = fs::recursive_directory_iterator(top); it != fs::recursive_directory_iterator();
       ++it) {
    if (!it->is_symlink()) continue;
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(it->path(), ec);
    // A loop resolves nowhere.
    if (!ec && !Below(resolved, top)) outside.push_back(it->path().lexically_relative(top));
  }
  return outside;
}

}  // namespace vrktest
