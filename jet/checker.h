// Consistency checker: verifies a database against the invariants of
// FORMAT section 12.3 — page types, usage maps against the pages tables and
// indexes own, row counts, every index entry against every row (both
// directions), B-tree order and shape, sibling links, long-value chains and
// lengths, and the autonumber counter.
#pragma once

#include <string>
#include <vector>

#include "database.h"

namespace jet {

struct CheckReport {
  std::vector<std::string> errors;  // each a fault, naming table and page
  std::vector<std::string> notes;   // not faults: indexes whose keys cannot be computed
  bool clean() const { return errors.empty(); }
};

CheckReport checkDatabase(const Database& db);

}  // namespace jet
