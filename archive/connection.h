// The archive connection (ADOConnection1): opens the file named by the
// connection text's Data Source through the SQL bridge. Share-deny-none:
// readers take no locks. Transactions map onto the bridge's BEGIN, COMMIT
// and ROLLBACK.
//
// Queries keep their rows when the connection closes or reopens: a query's
// rows are fetched whole when it opens (a static cursor) and belong to the
// query, so a list keeps showing them and nothing reads freed memory. A
// query run while the connection is closed raises an error.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "sql/sql_connection.h"

namespace archive {

class Query;

class Connection {
 public:
  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Set while closed (setting it on an open connection closes it first).
  void SetConnectionString(const std::string& text);
  const std::string& ConnectionString() const { return connectionString_; }
  void SetLoginPrompt(bool on) { loginPrompt_ = on; }  // accepted; there is no login
  bool LoginPrompt() const { return loginPrompt_; }
  void SetMode(const std::string& mode) { mode_ = mode; }  // accepted; readers never lock
  const std::string& Mode() const { return mode_; }

  // Opens the Data Source; raises EngineError with the engine's message.
  void Open();
  void Close();
  bool Connected() const { return engine_ != nullptr; }
  void SetConnected(bool on) { on ? Open() : Close(); }

  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();

  // The open engine; raises EngineError when closed.
  sql::SqlConnection& engine();

  // Queries attached to this connection are told when it goes away.
  void attach(Query* q) { queries_.insert(q); }
  void detach(Query* q) { queries_.erase(q); }

 private:
  void run(const char* statement);

  std::string connectionString_;
  bool loginPrompt_ = false;
  std::string mode_;
  std::unique_ptr<sql::SqlConnection> engine_;
  std::set<Query*> queries_;
};

// Link creation, as the import needs it: a second handle on the archive
// named by `connectionText` attaches table `remoteTable` of database file
// `sourceFile` under the name `linkName`. Every connection opened on the
// archive afterwards sees it; "drop table <linkName>" removes it.
void CreateLink(const std::string& connectionText, const std::string& linkName, const std::string& sourceFile,
                const std::string& remoteTable);

}  // namespace archive
