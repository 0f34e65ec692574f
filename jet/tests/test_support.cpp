#include "test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

#include "jet/checker.h"
#include "jet/csv_export.h"
#include "jet/database.h"

namespace jet::test {

namespace fs = std::filesystem;

fs::path sharedDir() { return fs::path(OSTREL_SHARED_DIR); }

std::vector<fs::path> allDatabases() {
  std::vector<fs::path> out;
  for (const char* dir : {"jet4/samples", "fixtures/small", "fixtures/packages/src"})
    for (const auto& e : fs::directory_iterator(sharedDir() / dir))
      if (e.path().extension() == ".mdb") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

fs::path smallArchive() { return sharedDir() / "fixtures/small/ostrel.mdb"; }

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "jet-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot make a temporary folder");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path ScratchDir::copy(const fs::path& source, const std::string& name) const {
  fs::path target = path_ / (name.empty() ? source.filename().string() : name);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  return target;
}

SmallPageMemory::SmallPageMemory(size_t pages) { PagerMemory::setHeapPages(pages); }
SmallPageMemory::~SmallPageMemory() { PagerMemory::setHeapPages(PagerMemory::kDefaultHeapPages); }

std::vector<uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out.push_back(c);
  }
  return out + "'";
}

std::string runCommand(const std::string& command) {
  std::FILE* p = popen(command.c_str(), "r");
  if (!p) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string out;
  std::array<char, 65536> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int status = pclose(p);
  EXPECT_EQ(status, 0) << command;
  return out;
}

std::vector<Record> parseCsv(const std::string& s) {
  std::vector<Record> rows;
  Record row;
  Field f;
  size_t i = 0;
  bool started = false;
  while (i < s.size()) {
    char c = s[i];
    if (c == '"' && !started) {
      f.quoted = true;
      started = true;
      ++i;
      while (i < s.size()) {
        if (s[i] == '"') {
          if (i + 1 < s.size() && s[i + 1] == '"') {
            f.text.push_back('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        f.text.push_back(s[i++]);
      }
      continue;
    }
    if (c == ',' || c == '\n') {
      row.push_back(std::move(f));
      f = Field{};
      started = false;
      if (c == '\n') {
        rows.push_back(std::move(row));
        row.clear();
      }
      ++i;
      continue;
    }
    f.text.push_back(c);
    started = true;
    ++i;
  }
  return rows;
}

std::string mdbExport(const fs::path& file, const std::string& table) {
  return runCommand("LC_ALL=C mdb-export " + shellQuote(file.string()) + " " + shellQuote(table) + " 2>/dev/null");
}

void sortRecords(std::vector<Record>& records) {
  if (records.size() < 2) return;
  auto line = [](const Record& r) {
    std::string s;
    for (const Field& f : r) s += f.text + '\x1f';
    return s;
  };
  std::sort(records.begin() + 1, records.end(), [&](const Record& a, const Record& b) { return line(a) < line(b); });
}

bool sameAsMdbToolsShowsIt(const Field& a, const Field& b) {
  if (a == b) return true;
  if (a.quoted && a.text.empty() && !b.quoted && b.text.empty()) return true;
  // mdb-export cuts Binary values at their first zero byte.
  if (size_t zero = a.text.find('\0'); zero != std::string::npos)
    return b.text == a.text.substr(0, zero) || (zero == 0 && b.text.empty());
  std::string shown;
  for (size_t i = 0; i < a.text.size(); ++i) {
    if ((static_cast<unsigned char>(a.text[i]) & 0xF8) == 0xF0) {
      shown += "??";
      i += 3;
    } else {
      shown.push_back(a.text[i]);
    }
  }
  return shown == b.text;
}

void expectSound(const fs::path& file) {
  Database db(file.string());
  CheckReport report = checkDatabase(db);
  std::string errors;
  for (const std::string& e : report.errors) errors += e + "\n";
  EXPECT_TRUE(report.clean()) << file << "\n" << errors;
  for (const CatalogEntry& entry : db.catalog().entries) {
    if (entry.isSystem() || entry.kind != CatalogEntry::Kind::Table) continue;  // links live elsewhere
    const std::string& name = entry.name;
    std::vector<Record> ours = parseCsv(exportCsv(db.table(entry)));
    std::vector<Record> theirs = parseCsv(mdbExport(file, name));
    ASSERT_EQ(ours.size(), theirs.size()) << name;
    sortRecords(ours);
    sortRecords(theirs);
    for (size_t r = 0; r < ours.size(); ++r) {
      ASSERT_EQ(ours[r].size(), theirs[r].size()) << name << " row " << r;
      for (size_t c = 0; c < ours[r].size(); ++c)
        EXPECT_TRUE(sameAsMdbToolsShowsIt(ours[r][c], theirs[r][c]))
            << name << " row " << r << " column " << c << ": " << ours[r][c].text << " / " << theirs[r][c].text;
    }
  }
}

}  // namespace jet::test
