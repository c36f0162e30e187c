// Random changes made alike to several copies of an archive, for tests that
// commit the copies in different ways and compare what they leave: adds and
// replacements by name, removals by name and by hashes, files stored by
// hashes alone (a name's own, or hashes no list names, as patches store
// them) and version stamps.
#ifndef ORVEL_TESTS_ADVANCE_RANDOM_CHANGES_H
#define ORVEL_TESTS_ADVANCE_RANDOM_CHANGES_H

#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/PacketTestUtil.h"

namespace orvel_test {

class RandomChanges {
 public:
  // Names are drawn from name(0) to name(poolSize - 1).
  RandomChanges(unsigned poolSize, std::function<std::string(unsigned)> name)
      : m_poolSize(poolSize), m_name(std::move(name)) {}

  // Makes `count` random changes to every copy, the same ones, and appends
  // each copy's result codes to codes[copy].
  void Apply(std::mt19937& rng, unsigned count, const std::vector<IOrvelPacket*>& copies,
             std::vector<std::vector<int>>* codes) const {
    codes->resize(copies.size());
    for (unsigned n = 0; n < count; ++n) {
      const std::string name = m_name(rng() % m_poolSize);
      unsigned hash[3] = {};
      copies[0]->GetFileHash(name.c_str(), &hash[0], &hash[1], &hash[2]);
      std::string data(1 + rng() % 90, 'a');
      for (char& c : data) c = static_cast<char>('a' + rng() % 4);
      const unsigned version = rng() % 1000;
      const unsigned kind = rng() % 10;
      if (kind == 7 && rng() % 2) hash[0] ^= 0x5A5A;  // hashes no name has
      for (size_t c = 0; c < copies.size(); ++c) {
        IOrvelPacket& p = *copies[c];
        const unsigned size = static_cast<unsigned>(data.size());
        int rc;
        if (kind < 4) {
          rc = Add(p, name, data, (kind & 1) | 2, 0, version);  // compressed or not
        } else if (kind < 6) {
          rc = p.DeleteFile(name.c_str());
        } else if (kind == 6) {
          rc = p.DeleteFileByHash(hash);
        } else if (kind < 9) {
          rc = p.AddCompressedFileByHash(hash, 2, data.data(), size, size, 0, version);
        } else {
          p.SetFileVersion(name.c_str(), version, version + 1);
          rc = g_nVrkErrCode;
        }
        (*codes)[c].push_back(rc);
      }
    }
  }

 private:
  unsigned m_poolSize;
  std::function<std::string(unsigned)> m_name;
};

}  // namespace orvel_test

#endif
