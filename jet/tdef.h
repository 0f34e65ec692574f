// Table definitions (tdef pages, type 0x02), possibly continued over several
// pages: the logical definition is the first page followed by bytes 8..4095
// of each continuation page. Holds the row count, autonumber counter,
// columns, real and logical indexes, and the usage maps of the table and of
// its long-value columns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bytes.h"
#include "header.h"
#include "pager.h"

namespace jet {

enum class ColumnType : uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Currency = 0x05,
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  Ole = 0x0B,
  Memo = 0x0C,
  Unknown0D = 0x0D,
  Guid = 0x0F,
  Decimal = 0x10,
  Unknown11 = 0x11,
};

const char* columnTypeName(ColumnType type);  // the dump's type names
bool isLongValue(ColumnType type);            // Memo, OLE

constexpr uint8_t kColumnFixed = 0x01;
constexpr uint8_t kColumnAutoLong = 0x04;
constexpr uint8_t kColumnAutoGuid = 0x40;
constexpr uint8_t kColumnHyperlink = 0x80;
constexpr uint8_t kColumnCompressed = 0x01;  // extended flags

struct Column {
  std::string name;
  ColumnType type = ColumnType::Long;
  uint16_t number = 0;       // bit in the null mask, slot in ncols
  uint16_t varIndex = 0;     // variable columns only
  uint16_t fixedOffset = 0;  // fixed columns only
  uint16_t length = 0;       // bytes
  uint8_t flags = 0;
  uint8_t extFlags = 0;
  SortOrder sortOrder;       // Text/Memo
  uint8_t precision = 0;     // Decimal
  uint8_t scale = 0;         // Decimal
  RowPointer lvOwnedMap;     // Memo/OLE, when listed in the tdef trailer
  RowPointer lvFreeMap;
  bool hasLvMaps = false;

  bool isFixed() const { return flags & kColumnFixed; }
  bool isAutoNumber() const { return flags & (kColumnAutoLong | kColumnAutoGuid); }
  bool isCompressible() const { return extFlags & kColumnCompressed; }
};

struct IndexColumn {
  uint16_t columnNumber = 0;
  bool ascending = true;
};

constexpr uint8_t kIndexUnique = 0x01;
constexpr uint8_t kIndexIgnoreNulls = 0x02;
constexpr uint8_t kIndexRequired = 0x08;

struct RealIndex {
  uint32_t number = 0;
  std::vector<IndexColumn> columns;
  RowPointer ownedMap;
  uint32_t rootPage = 0;
  uint8_t flags = 0;
  uint32_t distinctCount = 0;

  bool unique() const { return flags & kIndexUnique; }
  bool ignoreNulls() const { return flags & kIndexIgnoreNulls; }
  bool required() const { return flags & kIndexRequired; }
};

enum class IndexKind : uint8_t { Ordinary = 0, PrimaryKey = 1, ForeignKey = 2 };

struct LogicalIndex {
  std::string name;
  uint32_t number = 0;
  uint32_t realIndex = 0;
  IndexKind kind = IndexKind::Ordinary;
  uint8_t foreignKeySide = 0;  // 1 referenced, 2 referencing
};

struct TableDef {
  std::string name;
  uint32_t tdefPage = 0;
  std::vector<uint32_t> pages;  // the tdef chain
  uint32_t rowCount = 0;
  uint32_t autoNumber = 0;      // last value handed out
  uint8_t tableType = 0;
  uint16_t maxCols = 0;
  uint16_t numVarCols = 0;
  std::vector<Column> columns;  // in tdef (display) order
  std::vector<RealIndex> realIndexes;
  std::vector<LogicalIndex> logicalIndexes;
  RowPointer ownedMap;
  RowPointer freeMap;

  const Column* columnByNumber(uint16_t number) const;
  // Case-insensitive (ASCII and the rest as stored) lookup by name.
  const Column* columnByName(const std::string& name) const;
  const Column& column(size_t i) const { return columns[i]; }
  // Columns ordered by column number (the order mdb-export prints).
  std::vector<const Column*> columnsByNumber() const;
  const LogicalIndex* primaryKey() const;
};

// Reads the tdef starting at `page`. `name` is used in messages.
TableDef readTableDef(const Pager& pager, uint32_t page, const std::string& name);

}  // namespace jet
