// Helpers shared by the engine's tests: where the shared samples and
// fixtures are, scratch copies of them, and running mdbtools.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace jet::test {

std::filesystem::path sharedDir();
// Every Access-made sample and every fixture database the tests read.
std::vector<std::filesystem::path> allDatabases();
std::filesystem::path smallArchive();

// A fresh temporary folder, removed when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  // Copies `source` into the folder (writable) and returns the copy's path.
  std::filesystem::path copy(const std::filesystem::path& source, const std::string& name = "") const;

 private:
  std::filesystem::path path_;
};

// Pagers opened while it lives keep only `pages` changed pages in memory
// and put the rest in their scratch file.
class SmallPageMemory {
 public:
  explicit SmallPageMemory(size_t pages = 8);
  ~SmallPageMemory();
};

std::vector<uint8_t> readFile(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);

// Runs a shell command and returns its standard output; fails the test when
// it exits non-zero.
std::string runCommand(const std::string& command);
std::string shellQuote(const std::string& s);

// CSV as mdb-export prints it, parsed into fields (quoted or not).
struct Field {
  std::string text;
  bool quoted = false;
  bool operator==(const Field&) const = default;
};
using Record = std::vector<Field>;
std::vector<Record> parseCsv(const std::string& csv);
std::string mdbExport(const std::filesystem::path& file, const std::string& table);
// Rows after the header in a fixed order (where mdbtools reads moved rows
// elsewhere than we do).
void sortRecords(std::vector<Record>& records);
// Equal, or different only as mdb-export's known faults make it: empty text
// printed like null, characters outside the BMP printed as "??", Binary
// values cut at their first zero byte.
bool sameAsMdbToolsShowsIt(const Field& ours, const Field& theirs);

// A file our engine wrote: the checker finds it clean and mdb-export reads
// every user table as we do (rows compared in sorted order).
void expectSound(const std::filesystem::path& file);

}  // namespace jet::test
