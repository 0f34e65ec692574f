// The large bench archive, inflated once from its package into
// build/bench-data/ next to the benchmark binary's folder.
#pragma once

#include <string>

namespace bench {

// Path of the inflated forum-large.mdb (made on first use).
const std::string& largeArchive();
// Folder of the running executable (build/bin).
std::string binDir();

}  // namespace bench
