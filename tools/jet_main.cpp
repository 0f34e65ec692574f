// jet: the engine's command line.
//   jet tables FILE          user tables, one per line
//   jet export FILE TABLE    one table as CSV (the form mdb-export prints)
//   jet dump FILE            the whole database in the canonical dump form
//   jet check FILE           consistency check; exit 1 with findings
//   jet build CONTENT.json OUT.mdb   a new database from a JSON content file
//   jet sql FILE STATEMENT   one SQL statement: rows as tab-separated text
//                            under a header (null \N; tab, line breaks and
//                            backslash escaped as in the dump; blobs as 0x
//                            hex), or the number of rows changed
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "jet/checker.h"
#include "tools/builder/content_builder.h"
#include <fstream>
#include <sstream>
#include "jet/csv_export.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "sql/sql_connection.h"

namespace {

std::string tsvField(const sql::SqlValue& v) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  switch (v.type) {
    case sql::SqlValue::Type::Null: return "\\N";
    case sql::SqlValue::Type::Blob:
      out = "0x";
      for (unsigned char c : v.bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
      }
      return out;
    case sql::SqlValue::Type::Text:
      for (char c : v.bytes) {
        switch (c) {
          case '\\': out += "\\\\"; break;
          case '\t': out += "\\t"; break;
          case '\n': out += "\\n"; break;
          case '\r': out += "\\r"; break;
          default: out.push_back(c);
        }
      }
      return out;
    default: return v.asString();
  }
}

int runSql(const char* file, const char* statement) {
  sql::SqlConnection connection(file);
  sql::ResultSet result = connection.execute(statement);
  if (!result.returnsRows) {
    std::printf("%lld\n", static_cast<long long>(result.changes));
    return 0;
  }
  std::string out;
  for (size_t i = 0; i < result.columns.size(); ++i) out += (i ? "\t" : "") + result.columns[i];
  out += "\n";
  for (const auto& row : result.rows) {
    for (size_t i = 0; i < row.size(); ++i) out += (i ? "\t" : "") + tsvField(row[i]);
    out += "\n";
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

int usage() {
  std::fputs(
      "usage: jet tables FILE\n"
      "       jet export FILE TABLE\n"
      "       jet dump FILE\n"
      "       jet check FILE\n"
      "       jet sql FILE STATEMENT\n"
      "       jet build CONTENT.json OUT.mdb\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string command = argv[1];
  try {
    if (command == "tables" && argc == 3) {
      jet::Database db(argv[2], jet::Database::Mode::ReadOnly);
      for (const std::string& name : db.userTableNames()) std::printf("%s\n", name.c_str());
      return 0;
    }
    if (command == "export" && argc == 4) {
      jet::Database db(argv[2], jet::Database::Mode::ReadOnly);
      jet::exportCsv(db.table(argv[3]), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "dump" && argc == 3) {
      jet::Database db(argv[2], jet::Database::Mode::ReadOnly);
      jet::dumpDatabase(db, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "sql" && argc == 4) return runSql(argv[2], argv[3]);
    if (command == "build" && argc == 4) {
      std::ifstream in(argv[2], std::ios::binary);
      if (!in) throw std::runtime_error(std::string(argv[2]) + ": cannot open");
      std::stringstream content;
      content << in.rdbuf();
      builder::buildDatabase(content.str(), argv[3]);
      return 0;
    }
    if (command == "check" && argc == 3) {
      jet::Database db(argv[2], jet::Database::Mode::ReadOnly);
      jet::CheckReport report = jet::checkDatabase(db);
      for (const std::string& note : report.notes) std::printf("note: %s\n", note.c_str());
      for (const std::string& error : report.errors) std::printf("%s\n", error.c_str());
      if (report.clean()) std::printf("%s: clean\n", argv[2]);
      return report.clean() ? 0 : 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "jet: %s\n", e.what());
    return 1;
  }
  return usage();
}
