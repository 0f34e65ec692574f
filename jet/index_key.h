// Index keys (FORMAT section 10): for each index column in order, a flag
// byte (7F ascending / 80 descending, 00 / FF for null) and the value
// encoded so that unsigned byte order is the column's sort order. Text uses
// the General (legacy) collation; keys of any other sort order cannot be
// computed and are refused.
#pragma once

#include <string>
#include <vector>

#include "header.h"
#include "tdef.h"
#include "value.h"

namespace jet {

// Appends the key part of one column value.
void appendKeyPart(std::string& out, const Column& column, bool ascending, const Value& value);

// Text key bytes after the flag byte (exposed for tests).
std::string encodeTextKey(const std::u16string& text, bool ascending);

// The sort order a text column's keys use (its own, or the database's).
SortOrder effectiveSortOrder(const Column& column, SortOrder databaseDefault);

// Whether this engine can compute the keys of `index`; when not, `why`
// says which column and sort order stand in the way.
bool canEncodeKeys(const TableDef& def, const RealIndex& index, SortOrder databaseDefault, std::string* why);

// The full key of a row: `values` holds one value per index column.
std::string encodeKey(const TableDef& def, const RealIndex& index, const std::vector<Value>& values);

}  // namespace jet
