#include "archive_location.h"

#include <filesystem>

namespace archive {

std::string programFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  std::filesystem::path real = std::filesystem::weakly_canonical(exe, ec);
  std::string folder = (ec ? exe : real).parent_path().string();
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string archivePath() { return programFolder() + "ostrel.mdb"; }

std::string connectionText(const std::string& path) {
  const std::string gap = ";        ";  // ";" and eight spaces
  const std::pair<const char*, std::string> settings[] = {
      {"Provider", "Microsoft.Jet.OLEDB.4.0"},
      {"User ID", "Admin"},
      {"Data Source", path},
      {"Mode", "Share Deny None"},
      {"Extended Properties", ""},
      {"Jet OLEDB:System database", "\"\""},
      {"Jet OLEDB:Registry Path", ""},
      {"Jet OLEDB:Database Password", "\"\""},
      {"Jet OLEDB:Engine Type", "5"},
      {"Jet OLEDB:Database Locking Mode", "1"},
      {"Jet OLEDB:Global Partial Bulk Ops", "2"},
      {"Jet OLEDB:Global Bulk Transactions", "1"},
      {"Jet OLEDB:New Database Password", "\"\""},
      {"Jet OLEDB:Create System Database", "False"},
      {"Jet OLEDB:Encrypt Database", "False"},
      {"Jet OLEDB:Don't Copy Locale on Compact", "False"},
      {"Jet OLEDB:Compact Without Replica Repair", "False"},
      {"Jet OLEDB:SFP", "False"},
  };
  std::string text;
  for (size_t i = 0; i < std::size(settings); ++i) {
    if (i) text += gap;
    text += std::string(settings[i].first) + "=" + settings[i].second;
  }
  return text;
}

}  // namespace archive
