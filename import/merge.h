// Merging an unpacked package into the archive, table by table: the archive
// rows whose key the package's table holds are deleted, then every row of
// the package's table is inserted, through a linked table "link" made in
// the archive for the time of one table.
//
// The delete and the insert of one table run in one transaction, so a
// table merges whole or stays exactly as it was. Columns are paired by
// name, without regard to case: a package column the archive lacks stops
// the merge at that table with a message naming it; an archive column the
// package lacks gets null.
#pragma once

#include <functional>
#include <string>

#include "archive/connection.h"

namespace import {

struct MergeStep {
  const char* table;
  const char* key;
  int progressAfter;
};

// The tables in merge order, with their keys and the progress bar's value
// once each is merged.
inline constexpr MergeStep kMergePlan[] = {{"FORUM_MEMBERS", "MEMBER_ID", 30},
                                           {"FORUM_CATEGORY", "CAT_ID", 40},
                                           {"FORUM_FORUM", "FORUM_ID", 50},
                                           {"FORUM_TOPICS", "TOPIC_ID", 70},
                                           {"FORUM_REPLY", "REPLY_ID", 100}};

// Merges one table of the database at `databasePath` into the archive open
// on `archive` (whose connection text `archiveConnectionText` opens the
// second handle that makes the link). The archive connection is closed and
// opened again so that it sees the link.
void mergeTable(archive::Connection& archive, const std::string& archiveConnectionText, const std::string& table,
                const std::string& key, const std::string& databasePath);

// Every table of the plan in order; `progress(value)` after each (and 20
// before the first). A failure ends the merge: earlier tables stay merged.
void mergePackage(archive::Connection& archive, const std::string& archiveConnectionText,
                  const std::string& databasePath, const std::function<void(int)>& progress);

}  // namespace import
