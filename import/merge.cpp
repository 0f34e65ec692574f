#include "merge.h"

#include <algorithm>
#include <vector>

#include "archive/engine_error.h"
#include "archive/query.h"
#include "jet/text_codec.h"

namespace import {

namespace {

void dropLink(archive::Connection& archive) {
  try {
    archive::Query q(&archive);
    q.SQL().SetText("drop table link");
    q.ExecSQL();
  } catch (...) {
    // No link to drop, or any other failure: the merge goes on.
  }
}

std::vector<std::string> columnsOf(archive::Connection& archive, const std::string& table) {
  archive::Query q(&archive);
  q.SQL().SetText("select * from " + table + " where 1=0");
  q.Open();
  return q.columns();
}

}  // namespace

void mergeTable(archive::Connection& archive, const std::string& archiveConnectionText, const std::string& table,
                const std::string& key, const std::string& databasePath) {
  dropLink(archive);
  archive::CreateLink(archiveConnectionText, "link", databasePath, table);
  archive.Close();
  archive.Open();

  // Pair the package's columns with the archive's by name.
  std::vector<std::string> ours = columnsOf(archive, table), theirs = columnsOf(archive, "link");
  std::string target, source;
  for (const std::string& column : theirs) {
    auto match = std::find_if(ours.begin(), ours.end(), [&](const std::string& c) { return jet::equalsIgnoreCase(c, column); });
    if (match == ours.end())
      throw archive::EngineError("the package's table " + table + " has a column " + column + " that the archive's lacks");
    target += (target.empty() ? "" : ",") + *match;
    source += (source.empty() ? "" : ",") + column;
  }

  archive::Query q(&archive);
  archive.BeginTrans();
  try {
    q.SQL().Clear();
    q.SQL().Add("delete from " + table + " where " + key);
    q.SQL().Add("in (select " + key + " from link)");
    q.ExecSQL();
    q.SQL().Clear();
    q.SQL().Add("insert into " + table + " (" + target + ")");
    q.SQL().Add(" select " + source + " from link");
    q.ExecSQL();
    archive.CommitTrans();
  } catch (...) {
    try {
      archive.RollbackTrans();
    } catch (...) {
      // The first failure is the one to report; a rollback that cannot run
      // leaves the journal for the next open.
    }
    throw;
  }
  dropLink(archive);
}

void mergePackage(archive::Connection& archive, const std::string& archiveConnectionText,
                  const std::string& databasePath, const std::function<void(int)>& progress) {
  progress(20);
  for (const MergeStep& step : kMergePlan) {
    mergeTable(archive, archiveConnectionText, step.table, step.key, databasePath);
    progress(step.progressAfter);
  }
}

}  // namespace import
