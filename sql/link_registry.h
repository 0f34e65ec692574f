// Process-wide registry of linked tables attached to archives at run time.
// Keyed by the archive's real path, so every connection opened on that file
// afterwards sees the link. Nothing is written into the archive, so a crash
// leaves nothing behind. The only global state of the program.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace sql {

struct Link {
  std::string name;         // local name
  std::string database;     // path of the other database file
  std::string remoteTable;  // table name inside it
};

class LinkRegistry {
 public:
  static LinkRegistry& instance();

  // Adds a link; false when the archive already has one of that name
  // (compared without regard to case).
  bool add(const std::string& archive, const Link& link);
  // Removes a link; false when there was none.
  bool remove(const std::string& archive, const std::string& name);
  std::vector<Link> links(const std::string& archive) const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, Link>> links_;
};

}  // namespace sql
