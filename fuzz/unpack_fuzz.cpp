// Fuzzes the package unpacker: any bytes as a package must unpack or fail
// with one of its messages, never crash, never leave a temporary file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "import/unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("unpack-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(d);
    return d;
  }();
  const fs::path package = dir / "p.opk";
  {
    std::ofstream out(package, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    import::unpackPackage(package.string(), (dir / "ostrel.mdb").string());
  } catch (const import::UnpackError&) {
  }
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().filename().string().find(".unpacking-") != std::string::npos) __builtin_trap();
  return 0;
}
