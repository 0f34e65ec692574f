#include "test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

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

}  // namespace jet::test
