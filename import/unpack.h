// Packages (".opk"): a 4-byte little-endian signed length N, then one zlib
// stream (RFC 1950) whose first N inflated bytes are a database file.
//
// Unpacking writes those N bytes beside the package, under the package's
// path with every ".opk" (any letter case) turned into ".mdb". The bytes go
// to a temporary file in the target's folder, which becomes the target
// only once all N are there: no partial target is ever left (a full disk
// included), and memory does not grow with N.
#pragma once

#include <stdexcept>
#include <string>

namespace import {

// A failure of unpacking, with its message as the reader shows it.
class UnpackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The path with every ".opk", in any letter case, replaced by ".mdb".
std::string targetPathFor(const std::string& packagePath);

// Unpacks `packagePath` to targetPathFor(packagePath). Refuses, touching
// nothing, a package whose target would be the package itself (no ".opk"
// in its path) or `archivePath`.
void unpackPackage(const std::string& packagePath, const std::string& archivePath);

}  // namespace import
