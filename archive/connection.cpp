#include "connection.h"

#include "connection_string.h"
#include "engine_error.h"
#include "query.h"

namespace archive {

Connection::~Connection() {
  for (Query* q : queries_) q->connectionGone();
}

void Connection::SetConnectionString(const std::string& text) {
  if (Connected()) Close();
  connectionString_ = text;
}

void Connection::Open() {
  if (Connected()) return;
  ConnectionSettings settings = parseConnectionString(connectionString_);
  if (settings.dataSource.empty()) throw EngineError("the connection text names no Data Source");
  try {
    engine_ = std::make_unique<sql::SqlConnection>(settings.dataSource);
  } catch (const std::exception& e) {
    throw EngineError(e.what());
  }
}

void Connection::Close() { engine_.reset(); }

sql::SqlConnection& Connection::engine() {
  if (!engine_) throw EngineError("the connection to the archive is closed");
  return *engine_;
}

void Connection::run(const char* statement) {
  try {
    engine().execute(statement);
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    throw EngineError(e.what());
  }
}

void Connection::BeginTrans() { run("BEGIN"); }
void Connection::CommitTrans() { run("COMMIT"); }
void Connection::RollbackTrans() { run("ROLLBACK"); }

void CreateLink(const std::string& connectionText, const std::string& linkName, const std::string& sourceFile,
                const std::string& remoteTable) {
  Connection second;
  second.SetConnectionString(connectionText);
  second.Open();
  try {
    second.engine().attachLink(linkName, sourceFile, remoteTable);
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    throw EngineError(e.what());
  }
}

}  // namespace archive
