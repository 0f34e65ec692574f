// Writing: a randomised model test of inserts and deletes, changes to every
// Access-made sample, bad values, and new databases. Every file written
// here passes the checker and reads the same in mdb-export.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "jet/checker.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "jet/index_page.h"
#include "jet/schema.h"
#include "jet/text_codec.h"
#include "test_support.h"

namespace jet {
namespace {

namespace fs = std::filesystem;

TableSpec modelTable() {
  TableSpec s;
  s.name = "Model";
  s.columns = {{"id", ColumnType::Long, 0, true},   {"name", ColumnType::Text, 60},  {"body", ColumnType::Memo},
               {"small", ColumnType::Integer},      {"ratio", ColumnType::Double},   {"at", ColumnType::DateTime},
               {"flag", ColumnType::Boolean},       {"tiny", ColumnType::Byte},      {"cash", ColumnType::Currency},
               {"code", ColumnType::Text, 20},      {"blob", ColumnType::Ole}};
  s.indexes = {{"PrimaryKey", {{"id", true}}, true, true, false},
               {"name", {{"name", true}}, false, false, false},
               {"smallName", {{"small", true}, {"name", false}}, false, false, false},
               {"code", {{"code", true}}, false, true, true},
               {"at", {{"at", false}}, false, false, false}};
  return s;
}

std::string randomText(std::mt19937& rng, size_t maxChars) {
  static const char* pieces[] = {"a", "B", "z", " ", "中", "文", "Ä", "ö", "-", "'", "Ж", "x", "Y", "0", "9", "é"};
  size_t n = rng() % (maxChars + 1);
  std::string s;
  for (size_t i = 0; i < n; ++i) s += pieces[rng() % 16];
  return s;
}

RowValues randomRow(std::mt19937& rng, int64_t id, int64_t codeSeq) {
  RowValues v(11);
  v[0] = id;
  v[1] = rng() % 10 == 0 ? Value{} : Value{randomText(rng, 60)};
  int kind = static_cast<int>(rng() % 5);
  if (kind == 0) v[2] = Value{};
  else if (kind == 1) v[2] = std::string(20 + rng() % 40, 'q');  // inline
  else if (kind == 2) v[2] = randomText(rng, 1500);              // one LVAL row
  else if (kind == 3) v[2] = std::string(5000 + rng() % 9000, 'L') + "尾";  // a chain
  else v[2] = std::string();
  v[3] = rng() % 7 == 0 ? Value{} : Value{int64_t{static_cast<int16_t>(rng())}};
  v[4] = static_cast<double>(static_cast<int32_t>(rng())) / 7.0;
  v[5] = DateTime{30000.0 + static_cast<double>(rng() % 20000) + static_cast<double>(rng() % 86400) / 86400.0};
  v[6] = rng() % 2 == 0;
  v[7] = static_cast<int64_t>(rng() % 256);
  v[8] = Currency{static_cast<int64_t>(rng() % 100000000) - 50000000};
  v[9] = rng() % 3 == 0 ? Value{} : Value{"C" + std::to_string(codeSeq)};
  if (rng() % 4 == 0) {
    Bytes blob(rng() % 6000);
    for (uint8_t& b : blob) b = static_cast<uint8_t>(rng());
    v[10] = std::move(blob);
  }
  return v;
}

std::string rowText(const TableDef& def, const RowValues& v) {
  std::string s;
  for (size_t i = 0; i < v.size(); ++i) s += dumpValue(def.columns[i], v[i]) + "|";
  return s;
}

// The table's rows by id, as the engine reads them.
std::map<int64_t, std::string> contentOf(const Table& t) {
  std::map<int64_t, std::string> out;
  RowCursor c = t.scan();
  while (c.next()) {
    RowValues v;
    for (const Column& col : t.def().columns) v.push_back(c.value(col));
    out[std::get<int64_t>(v[0])] = rowText(t.def(), v);
  }
  return out;
}

TEST(Writer, RandomInsertsAndDeletesMatchAModel) {
  test::ScratchDir dir;
  fs::path file = dir.path() / "model.mdb";
  createDatabase(file.string());
  std::mt19937 rng(4242);
  std::map<int64_t, std::string> model;
  int64_t nextId = 1, codeSeq = 0;
  {
    Database db(file.string());
    db.begin();
    createTable(db, modelTable());
    db.commit();
  }
  for (int batch = 0; batch < 6; ++batch) {
    {
      Database db(file.string());
      const Table& t = db.table("Model");
      db.begin();
      for (int i = 0; i < 700; ++i) {
        if (model.empty() || rng() % 3 != 0) {
          RowValues v = randomRow(rng, nextId++, codeSeq++);
          db.insertRow(t, v);
          model[std::get<int64_t>(v[0])] = rowText(t.def(), v);
        } else {
          // Delete a random live row.
          auto it = model.begin();
          std::advance(it, static_cast<long>(rng() % model.size()));
          RowCursor c = t.scan();
          while (c.next())
            if (std::get<int64_t>(c.value(t.def().columns[0])) == it->first) break;
          db.deleteRow(t, c.position());
          model.erase(it);
        }
      }
      db.commit();
      EXPECT_EQ(contentOf(t), model) << "batch " << batch;
    }
    Database db(file.string());
    CheckReport r = checkDatabase(db);
    ASSERT_TRUE(r.clean()) << "batch " << batch << ": " << r.errors.front();
    EXPECT_EQ(db.table("Model").def().rowCount, model.size());
  }
  {
    // The indexes grew past one level of nodes: a seek that matches nothing
    // reads only the path to the first leaf.
    Database db(file.string());
    const Table& t = db.table("Model");
    IndexReader reader(db.pager(), t.def(), t.def().realIndexes[1]);
    EXPECT_TRUE(reader.seekPrefix(std::string(1, '\x01')).empty());
    EXPECT_GE(reader.pagesRead(), 3u);
  }
  test::expectSound(file);
}

// A value of `type` unlikely to collide with what a sample table holds.
Value freshValue(const Column& column, std::mt19937& rng) {
  switch (column.type) {
    case ColumnType::Text: return (std::string("w") + std::to_string(rng() % 100000)).substr(0, column.length / 2);
    case ColumnType::Memo: return std::string(300, 'm');
    case ColumnType::Long: return int64_t{static_cast<int32_t>(rng() % 1000000 + 1000)};
    case ColumnType::Integer: return int64_t{static_cast<int16_t>(rng() % 30000)};
    case ColumnType::Byte: return static_cast<int64_t>(rng() % 256);
    case ColumnType::Double: return 0.5 * static_cast<double>(rng() % 1000);
    case ColumnType::Single: return 0.25f;
    case ColumnType::DateTime: return DateTime{40000.5};
    case ColumnType::Currency: return Currency{12345};
    case ColumnType::Boolean: return true;
    case ColumnType::Binary: return Bytes{1, 2, 3};
    case ColumnType::Ole: return Bytes(5000, 7);
    default: return Value{};  // GUID autonumbers fill themselves
  }
}

TEST(Writer, EverySampleTableTakesInsertsAndDeletesAndKeepsItsIndexesExact) {
  std::mt19937 rng(7);
  for (const fs::path& sample : test::allDatabases()) {
    if (sample.parent_path().filename() != "samples") continue;
    SCOPED_TRACE(sample.filename().string());
    test::ScratchDir dir;
    fs::path copy = dir.copy(sample);
    {
      Database db(copy.string());
      for (const std::string& name : db.userTableNames()) {
        const Table& t = db.table(name);
        // Delete the first row, then insert rows made of fresh values.
        RowCursor c = t.scan();
        if (c.next()) db.deleteRow(t, c.position());
        for (int k = 0; k < 3; ++k) {
          RowValues v;
          for (const Column& col : t.def().columns) v.push_back(freshValue(col, rng));
          db.insertRow(t, v);
        }
      }
    }
    test::expectSound(copy);
  }
}

TEST(Writer, BadValuesRaiseClearErrorsAndChangeNothing) {
  test::ScratchDir dir;
  fs::path file = dir.copy(test::smallArchive());
  std::vector<uint8_t> before = test::readFile(file);
  Database db(file.string());
  const Table& t = db.table("FORUM_CATEGORY");
  auto row = [&](Value id, Value name, Value order) {
    RowValues v(t.def().columns.size());
    v[static_cast<size_t>(t.def().columnByName("CAT_ID") - t.def().columns.data())] = id;
    v[static_cast<size_t>(t.def().columnByName("CAT_NAME") - t.def().columns.data())] = name;
    v[static_cast<size_t>(t.def().columnByName("CAT_ORDER") - t.def().columns.data())] = order;
    return v;
  };
  struct Case {
    const char* what;
    RowValues values;
    const char* message;
  } cases[] = {
      {"text too long", row(int64_t{9}, std::string(101, 'x'), int64_t{1}), "text of 101 characters is longer than the column's 100"},
      {"number out of range", row(int64_t{9}, std::string("x"), int64_t{1} << 40), "is out of range"},
      {"wrong type", row(int64_t{9}, int64_t{5}, int64_t{1}), "column 'CAT_NAME' of table 'FORUM_CATEGORY': takes text values"},
      {"duplicate key", row(int64_t{1}, std::string("x"), int64_t{1}), "already has a row with this key in unique index 'PrimaryKey'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      db.insertRow(t, c.values);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // Null where a key is required.
  const Table& members = db.table("FORUM_MEMBERS");
  RowValues nullKey(members.def().columns.size());
  nullKey[static_cast<size_t>(members.def().columnByName("M_NAME") - members.def().columns.data())] = std::string("鄭國榮");
  EXPECT_THROW(db.insertRow(members, nullKey), Error);  // duplicate name in a unique index
  EXPECT_EQ(test::readFile(file), before);
}

// One transaction of many rows: non-unique index entries are merged into
// their trees at commit, long sorted runs into single leaves (cut into
// several new pages at once), runs of equal keys across leaf ends; the
// distinct-key counts must come out as the entries say.
TEST(Writer, ABulkTransactionBuildsExactIndexes) {
  test::ScratchDir dir;
  fs::path file = dir.path() / "bulk.mdb";
  createDatabase(file.string());
  Database db(file.string());
  db.begin();
  createTable(db, TableSpec{"Bulk",
                            {{"id", ColumnType::Long}, {"topic", ColumnType::Long}, {"who", ColumnType::Text, 30}},
                            {{"PrimaryKey", {{"id", true}}, true, true, false},
                             {"topic", {{"topic", true}}, false, false, false},
                             {"who", {{"who", false}}, false, false, false}}});
  db.commit();
  auto distinctCounts = [&] {
    std::vector<uint32_t> out;
    for (const RealIndex& ix : db.table("Bulk").def().realIndexes) out.push_back(ix.distinctCount);
    return out;
  };
  std::mt19937 rng(7);
  const char* names[] = {"甲", "乙 丙", "Ann", "ann ", "Bob-1", "o'neil"};
  db.begin();
  for (int64_t id = 1; id <= 6000; ++id)  // topics ascending with runs of equal keys
    db.insertRow(db.table("Bulk"), {id, id / 3, std::string(names[rng() % 6]) + std::to_string(id % 50)});
  db.commit();
  EXPECT_EQ(distinctCounts(), (std::vector<uint32_t>{6000, 2001, 300}));
  db.begin();  // a second run lands inside and between the first one's leaves
  for (int64_t id = 6001; id <= 9000; ++id) db.insertRow(db.table("Bulk"), {id, static_cast<int64_t>(rng() % 2500), std::string("Ann7")});
  db.commit();
  EXPECT_GE(distinctCounts()[1], 2001u);
  EXPECT_EQ(distinctCounts()[2], 300u);  // "Ann7" was there already
  db.begin();  // deletes need the held entries in their trees first
  for (int64_t id = 8990; id <= 9000; ++id) db.insertRow(db.table("Bulk"), {id + 1000, int64_t{5000}, Value{}});
  std::vector<RowPointer> rows;
  RowCursor c = db.table("Bulk").scan();
  while (c.next())
    if (std::get<int64_t>(c.value(db.table("Bulk").def().columns[0])) > 9990) rows.push_back(c.position());
  for (RowPointer r : rows) db.deleteRow(db.table("Bulk"), r);
  db.commit();
  test::expectSound(file);
}

TEST(Writer, ANewDatabaseHoldsTablesOfEveryTypeAndDropsThem) {
  test::ScratchDir dir;
  fs::path file = dir.path() / "new.mdb";
  createDatabase(file.string());
  EXPECT_THROW(createDatabase(file.string()), Error);  // never overwrites
  {
    Database db(file.string());
    db.begin();
    TableSpec spec;
    spec.name = "Every";
    spec.columns = {{"id", ColumnType::Long, 0, true}, {"b", ColumnType::Boolean},   {"y", ColumnType::Byte},
                    {"i", ColumnType::Integer},        {"c", ColumnType::Currency},  {"f", ColumnType::Single},
                    {"d", ColumnType::Double},         {"t", ColumnType::DateTime},  {"bin", ColumnType::Binary, 16},
                    {"txt", ColumnType::Text, 30},     {"ole", ColumnType::Ole},     {"memo", ColumnType::Memo},
                    {"g", ColumnType::Guid, 0, true},  {"n", ColumnType::Decimal}};
    spec.indexes = {{"PrimaryKey", {{"id", true}}, true, true, false},
                    {"txt_i", {{"txt", true}, {"i", false}}, false, false, false},
                    {"g", {{"g", true}}, false, true, false}};
    createTable(db, spec);
    TableSpec other{"Gone", {{"x", ColumnType::Long}}, {{"x", {{"x", true}}, false, false, false}}};
    createTable(db, other);
    const Table& t = db.table("Every");
    for (int k = 0; k < 50; ++k) {
      Decimal dec;
      dec.magnitude = static_cast<uint128>(k) * 1000;
      db.insertRow(t, {Value{}, k % 2 == 0, int64_t{k}, int64_t{-k}, Currency{k * 10000}, 1.5f, k / 3.0,
                       DateTime{39000.0 + k}, Bytes{1, 2, static_cast<uint8_t>(k)}, std::string("t") + std::to_string(k % 7),
                       Bytes(static_cast<size_t>(k) * 100, 3), std::string(static_cast<size_t>(k) * 90, 'm'), Value{}, dec});
      db.insertRow(db.table("Gone"), {int64_t{k}});
    }
    db.commit();
    EXPECT_EQ(db.table("Every").def().autoNumber, 50u);
    db.begin();
    dropTable(db, "Gone");
    db.commit();
    EXPECT_EQ(db.catalog().find("Gone"), nullptr);
  }
  test::expectSound(file);
  EXPECT_EQ(test::runCommand("mdb-tables -1 " + test::shellQuote(file.string())), "Every\n");
}

}  // namespace
}  // namespace jet

namespace jet {
namespace {

// A text index in another sort order than General (legacy): the table
// reads as before, but every change is refused before anything is written.
TEST(Writer, RefusesToChangeATableWhoseTextKeysItCannotCompute) {
  test::ScratchDir dir;
  fs::path file = dir.copy(test::smallArchive());
  size_t at = 0;
  {
    Database db(file.string());
    const TableDef& def = db.table("FORUM_MEMBERS").def();
    // The column blocks follow the per-index counts; find M_NAME's.
    size_t blocks = 63 + 12 * def.realIndexes.size();
    for (size_t i = 0; i < def.columns.size(); ++i)
      if (def.columns[i].name == "M_NAME") at = static_cast<size_t>(def.tdefPage) * kPageSize + blocks + 25 * i + 11;
  }
  std::vector<uint8_t> bytes = test::readFile(file);
  bytes[at] = 0x04;  // LCID 2052 (0x0804), a Chinese sort order
  bytes[at + 1] = 0x08;
  test::writeFile(file, bytes);

  Database db(file.string());
  const Table& t = db.table("FORUM_MEMBERS");
  RowCursor c = t.scan();
  ASSERT_TRUE(c.next());
  try {
    db.deleteRow(t, c.position());
    ADD_FAILURE() << "changed";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("uses sort order 2052"), std::string::npos) << e.what();
  }
  EXPECT_EQ(test::readFile(file), bytes);
}

}  // namespace
}  // namespace jet
