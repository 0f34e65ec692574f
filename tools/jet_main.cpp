// jet: the engine's command line.
//   jet tables FILE          user tables, one per line
//   jet export FILE TABLE    one table as CSV (the form mdb-export prints)
//   jet dump FILE            the whole database in the canonical dump form
//   jet check FILE           consistency check; exit 1 with findings
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "jet/checker.h"
#include "jet/csv_export.h"
#include "jet/database.h"
#include "jet/dump.h"

namespace {

int usage() {
  std::fputs(
      "usage: jet tables FILE\n"
      "       jet export FILE TABLE\n"
      "       jet dump FILE\n"
      "       jet check FILE\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  std::string command = argv[1];
  try {
    if (command == "tables" && argc == 3) {
      jet::Database db(argv[2]);
      for (const std::string& name : db.userTableNames()) std::printf("%s\n", name.c_str());
      return 0;
    }
    if (command == "export" && argc == 4) {
      jet::Database db(argv[2]);
      jet::exportCsv(db.table(argv[3]), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "dump" && argc == 3) {
      jet::Database db(argv[2]);
      jet::dumpDatabase(db, stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "check" && argc == 3) {
      jet::Database db(argv[2]);
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
