// Feeds mutated database images through open, the catalog, every table
// scan with every value, every index walk and the checker. Any failure
// must be a jet::Error; a crash, a sanitizer report or a hang is a bug.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "jet/checker.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_page.h"

namespace {

int imageFd() {
  static int fd = memfd_create("jet-fuzz", 0);
  return fd;
}

void readEverything(const std::string& path) {
  jet::Database db(path);
  for (const jet::CatalogEntry& e : db.catalog().entries) {
    if (e.kind != jet::CatalogEntry::Kind::Table) continue;
    try {
      const jet::Table& t = db.table(e);
      jet::RowCursor c = t.scan();
      while (c.next())
        for (const jet::Column& col : t.def().columns) (void)c.value(col);
      for (const jet::RealIndex& ix : t.def().realIndexes) {
        jet::IndexReader r(db.pager(), t.def(), ix);
        // Some keys met on the walk are sought again: seeks halve pages.
        std::vector<std::string> keys;
        size_t seen = 0;
        r.scanAll([&](const jet::IndexEntryRef& e) {
          if (seen++ % 61 == 0 && keys.size() < 8) keys.emplace_back(e.key);
          return true;
        });
        for (const std::string& k : keys) (void)r.seekPrefix(k);
      }
    } catch (const jet::Error&) {
    }
  }
  (void)jet::checkDatabase(db);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int fd = imageFd();
  if (fd < 0 || ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  try {
    readEverything("/proc/self/fd/" + std::to_string(fd));
  } catch (const jet::Error&) {
  }
  return 0;
}
