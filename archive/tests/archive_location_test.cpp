// The archive beside the program file, whatever the current directory and
// whatever the folder's name; the connection text byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include "archive/archive_location.h"
#include "archive/connection_string.h"
#include "jet/tests/test_support.h"

namespace archive {
namespace {

namespace fs = std::filesystem;

TEST(ConnectionText, IsTheEighteenSettingsByteForByte) {
  const std::string g = ";        ";
  std::string expected = "Provider=Microsoft.Jet.OLEDB.4.0" + g + "User ID=Admin" + g +
                         "Data Source=/opt/程序 folder/ostrel.mdb" + g + "Mode=Share Deny None" + g +
                         "Extended Properties=" + g + "Jet OLEDB:System database=\"\"" + g +
                         "Jet OLEDB:Registry Path=" + g + "Jet OLEDB:Database Password=\"\"" + g +
                         "Jet OLEDB:Engine Type=5" + g + "Jet OLEDB:Database Locking Mode=1" + g +
                         "Jet OLEDB:Global Partial Bulk Ops=2" + g + "Jet OLEDB:Global Bulk Transactions=1" + g +
                         "Jet OLEDB:New Database Password=\"\"" + g + "Jet OLEDB:Create System Database=False" + g +
                         "Jet OLEDB:Encrypt Database=False" + g + "Jet OLEDB:Don't Copy Locale on Compact=False" + g +
                         "Jet OLEDB:Compact Without Replica Repair=False" + g + "Jet OLEDB:SFP=False";
  std::string text = connectionText("/opt/程序 folder/ostrel.mdb");
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.substr(0, 47), "Provider=Microsoft.Jet.OLEDB.4.0;        User I");
  ConnectionSettings s = parseConnectionString(text);
  EXPECT_EQ(s.dataSource, "/opt/程序 folder/ostrel.mdb");
  EXPECT_EQ(s.mode, "Share Deny None");
}

TEST(ConnectionText, TheStoredDesignsRelativeWindowsPathReads) {
  ConnectionSettings s =
      parseConnectionString("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=.\\ostrel.mdb;Persist Security Info=False");
  EXPECT_EQ(s.dataSource, "./ostrel.mdb");
}

std::string runProbe(const fs::path& probe, const fs::path& cwd) {
  return jet::test::runCommand("cd " + jet::test::shellQuote(cwd.string()) + " && " +
                               jet::test::shellQuote(probe.string()));
}

TEST(ArchiveLocation, IsBesideTheProgramWhateverTheCurrentDirectory) {
  jet::test::ScratchDir dir;
  for (const char* name : {"plain", "with spaces", "中文 目录"}) {
    SCOPED_TRACE(name);
    fs::path folder = dir.path() / name;
    fs::create_directories(folder / "elsewhere");
    fs::copy_file(ARCHIVE_PROBE, folder / "probe");
    fs::copy_file(jet::test::smallArchive(), folder / "ostrel.mdb");
    // Started through a symbolic link from another folder: the link is resolved.
    fs::create_symlink(folder / "probe", dir.path() / (std::string(name) + "-link"));
    for (const fs::path& program : {folder / "probe", dir.path() / (std::string(name) + "-link")}) {
      std::string out = runProbe(program, folder / "elsewhere");
      EXPECT_EQ(out, (fs::canonical(folder) / "ostrel.mdb").string() + "\n4\n");
    }
  }
}

}  // namespace
}  // namespace archive
