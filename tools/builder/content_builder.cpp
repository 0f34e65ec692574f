#include "content_builder.h"

#include <nlohmann/json.hpp>

#include <map>
#include <regex>
#include <stdexcept>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/schema.h"
#include "jet/table_writer.h"
#include "jet/text_codec.h"

namespace builder {

namespace {

using nlohmann::ordered_json;

struct SchemaText {
  std::vector<std::string> columns;
  std::vector<std::string> indexes;
};

// The forum's five tables as the archive defines them.
const std::map<std::string, SchemaText>& standardSchemas() {
  static const std::map<std::string, SchemaText> s = {
      {"FORUM_CATEGORY",
       {{"CAT_ID LONG AUTO", "CAT_STATUS INT", "CAT_NAME TEXT(100)", "CAT_ORDER LONG", "cat_pid LONG", "CAT_MODERATION LONG"},
        {"PrimaryKey PRIMARY : CAT_ID"}}},
      {"FORUM_FORUM",
       {{"CAT_ID LONG", "FORUM_ID LONG AUTO", "F_STATUS INT", "F_SUBJECT TEXT(100)", "F_DESCRIPTION MEMO", "F_TOPICS LONG",
         "F_COUNT LONG", "F_LAST_POST TEXT(14)", "F_ORDER LONG"},
        {"PrimaryKey PRIMARY : FORUM_ID", "CAT_ID : CAT_ID"}}},
      {"FORUM_TOPICS",
       {{"CAT_ID LONG", "FORUM_ID LONG", "TOPIC_ID LONG AUTO", "T_STATUS INT", "T_SUBJECT TEXT(100)", "T_MESSAGE MEMO",
         "T_AUTHOR LONG", "T_REPLIES LONG", "T_VIEW_COUNT LONG", "T_LAST_POST TEXT(14)", "T_DATE TEXT(14)",
         "T_LAST_POSTER LONG", "T_IP TEXT(15)", "T_LAST_POST_AUTHOR TEXT(75)", "T_GOOD INT"},
        {"PrimaryKey PRIMARY : TOPIC_ID", "CAT_ID : CAT_ID", "FORUM_ID : FORUM_ID", "T_AUTHOR : T_AUTHOR",
         "T_LAST_POST : T_LAST_POST"}}},
      {"FORUM_MEMBERS",
       {{"MEMBER_ID LONG AUTO", "M_STATUS INT", "M_NAME TEXT(75)", "M_EMAIL TEXT(50)", "M_POSTS LONG", "M_DATE TEXT(14)",
         "M_LEVEL INT"},
        {"PrimaryKey PRIMARY : MEMBER_ID", "M_NAME UNIQUE : M_NAME"}}},
      {"FORUM_REPLY",
       {{"CAT_ID LONG", "FORUM_ID LONG", "TOPIC_ID LONG", "REPLY_ID LONG AUTO", "R_AUTHOR LONG", "R_MESSAGE MEMO",
         "R_DATE TEXT(14)", "R_IP TEXT(15)"},
        {"PrimaryKey PRIMARY : REPLY_ID", "TOPIC_ID : TOPIC_ID", "R_AUTHOR : R_AUTHOR", "R_DATE : R_DATE"}}},
  };
  return s;
}

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(what); }

jet::ColumnSpec parseColumn(const std::string& table, const std::string& text) {
  static const std::regex re(R"(^\s*(\S+)\s+([A-Z]+)(?:\((\d+)\))?(\s+AUTO)?\s*$)");
  std::smatch m;
  if (!std::regex_match(text, m, re)) fail("table " + table + ": cannot read column \"" + text + "\"");
  jet::ColumnSpec c;
  c.name = m[1];
  std::string type = m[2];
  static const std::map<std::string, jet::ColumnType> types = {
      {"LONG", jet::ColumnType::Long},        {"INT", jet::ColumnType::Integer},   {"BYTE", jet::ColumnType::Byte},
      {"TEXT", jet::ColumnType::Text},        {"MEMO", jet::ColumnType::Memo},     {"DATETIME", jet::ColumnType::DateTime},
      {"BOOLEAN", jet::ColumnType::Boolean},  {"DOUBLE", jet::ColumnType::Double}, {"SINGLE", jet::ColumnType::Single},
      {"MONEY", jet::ColumnType::Currency},   {"BINARY", jet::ColumnType::Binary}, {"OLE", jet::ColumnType::Ole},
      {"GUID", jet::ColumnType::Guid}};
  auto it = types.find(type);
  if (it == types.end()) fail("table " + table + ": unknown column type " + type);
  c.type = it->second;
  if (m[3].matched) c.length = static_cast<uint16_t>(std::stoi(m[3]));
  if (c.type == jet::ColumnType::Text && !m[3].matched) c.length = 255;
  c.autoNumber = m[4].matched;
  c.compressed = true;
  return c;
}

jet::IndexSpec parseIndex(const std::string& table, const std::string& text) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) fail("table " + table + ": cannot read index \"" + text + "\"");
  jet::IndexSpec ix;
  std::istringstream head(text.substr(0, colon));
  head >> ix.name;
  for (std::string word; head >> word;) {
    if (word == "PRIMARY") ix.primary = true;
    else if (word == "UNIQUE") ix.unique = true;
    else if (word == "IGNORENULLS") ix.ignoreNulls = true;
    else fail("table " + table + ": unknown index option " + word);
  }
  std::string cols = text.substr(colon + 1);
  std::istringstream list(cols);
  for (std::string col; std::getline(list, col, ',');) {
    col.erase(0, col.find_first_not_of(' '));
    col.erase(col.find_last_not_of(' ') + 1);
    bool asc = true;
    if (col.size() > 5 && col.substr(col.size() - 5) == " DESC") {
      asc = false;
      col = col.substr(0, col.size() - 5);
    }
    ix.columns.emplace_back(col, asc);
  }
  return ix;
}

jet::Value toValue(const std::string& where, const jet::Column& c, const ordered_json& v) {
  if (v.is_null()) return std::monostate{};
  auto bad = [&]() -> jet::Value { fail(where + ": value " + v.dump() + " does not suit column " + c.name); };
  switch (c.type) {
    case jet::ColumnType::Byte:
    case jet::ColumnType::Integer:
    case jet::ColumnType::Long:
      if (!v.is_number_integer()) return bad();
      return v.get<int64_t>();
    case jet::ColumnType::Double:
      if (!v.is_number()) return bad();
      return v.get<double>();
    case jet::ColumnType::Single:
      if (!v.is_number()) return bad();
      return v.get<float>();
    case jet::ColumnType::Currency:
      if (!v.is_number()) return bad();
      return jet::Currency{std::llround(v.get<double>() * 10000)};
    case jet::ColumnType::Boolean:
      if (!v.is_boolean()) return bad();
      return v.get<bool>();
    case jet::ColumnType::Text:
    case jet::ColumnType::Memo:
      if (!v.is_string()) return bad();
      return v.get<std::string>();
    case jet::ColumnType::DateTime: {
      if (!v.is_string()) return bad();
      jet::CalendarTime t;
      if (std::sscanf(v.get<std::string>().c_str(), "%d-%d-%dT%d:%d:%d", &t.year, &t.month, &t.day, &t.hour, &t.minute,
                      &t.second) != 6)
        return bad();
      return jet::DateTime{jet::fromCalendar(t)};
    }
    default:
      return bad();
  }
}

}  // namespace

void buildDatabase(const std::string& content, const std::string& outFile) {
  ordered_json doc;
  try {
    doc = ordered_json::parse(content);
  } catch (const std::exception& e) {
    fail(std::string("the content is not valid JSON: ") + e.what());
  }
  if (!doc.contains("tables") || !doc["tables"].is_object()) fail("the content has no \"tables\" object");
  const ordered_json schemas = doc.contains("schema") ? doc["schema"] : ordered_json::object();

  jet::createDatabase(outFile);
  try {
    jet::Database db(outFile);
    db.begin();
    for (const auto& [name, rows] : doc["tables"].items()) {
      SchemaText text;
      if (schemas.contains(name)) {
        for (const auto& c : schemas[name].value("columns", ordered_json::array())) text.columns.push_back(c.get<std::string>());
        for (const auto& i : schemas[name].value("indexes", ordered_json::array())) text.indexes.push_back(i.get<std::string>());
      } else if (standardSchemas().count(name)) {
        text = standardSchemas().at(name);
      } else {
        fail("table " + name + " has no schema");
      }
      jet::TableSpec spec;
      spec.name = name;
      for (const std::string& c : text.columns) spec.columns.push_back(parseColumn(name, c));
      for (const std::string& i : text.indexes) spec.indexes.push_back(parseIndex(name, i));
      jet::createTable(db, spec);
      const jet::Table& table = db.table(name);
      size_t n = 0;
      for (const auto& row : rows) {
        std::string where = "table " + name + " row " + std::to_string(++n);
        if (!row.is_object()) fail(where + ": a row is an object");
        jet::RowValues values(table.def().columns.size());
        for (const auto& [column, value] : row.items()) {
          const jet::Column* c = table.def().columnByName(column);
          if (!c) fail(where + ": table has no column " + column);
          values[static_cast<size_t>(c - table.def().columns.data())] = toValue(where, *c, value);
        }
        try {
          db.insertRow(table, std::move(values));
        } catch (const jet::Error& e) {
          fail(where + ": " + e.what());
        }
      }
    }
    db.commit();
  } catch (...) {
    std::remove(outFile.c_str());
    throw;
  }
}

}  // namespace builder
