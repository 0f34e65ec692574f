// Prints the archive path the program computes, then opens the archive with
// the connection text and prints how many top categories it lists.
#include <cstdio>
#include <exception>

#include "archive/archive_location.h"
#include "archive/connection.h"
#include "archive/query.h"
#include "archive/statements.h"

int main() {
  std::printf("%s\n", archive::archivePath().c_str());
  try {
    archive::Connection connection;
    connection.SetConnectionString(archive::connectionText(archive::archivePath()));
    connection.Open();
    archive::Query query(&connection);
    query.SQL().Add(archive::kCategoryStatement);
    query.Open();
    std::printf("%d\n", query.RecordCount());
  } catch (const std::exception& e) {
    std::printf("error: %s\n", e.what());
    return 1;
  }
  return 0;
}
