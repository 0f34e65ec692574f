// ostrel-import PACKAGE ARCHIVE: unpacks PACKAGE beside itself and merges
// it into ARCHIVE, as the reader's import command does, printing the
// progress values. Exit 0 on success, 1 with the message on failure.
#include <cstdio>
#include <exception>

#include "archive/archive_location.h"
#include "import/merge.h"
#include "import/unpack.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ostrel-import PACKAGE ARCHIVE\n");
    return 2;
  }
  const std::string package = argv[1], archivePath = argv[2];
  try {
    import::unpackPackage(package, archivePath);
    const std::string text = archive::connectionText(archivePath);
    archive::Connection connection;
    connection.SetConnectionString(text);
    connection.Open();
    import::mergePackage(connection, text, import::targetPathFor(package), [](int value) {
      std::printf("%d\n", value);
      std::fflush(stdout);
    });
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
