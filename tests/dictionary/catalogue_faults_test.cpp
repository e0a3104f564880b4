// Declarations the record format cannot hold: each faulty item is one fault
// report naming its table, never an exception out of the reader, whatever
// number an item holds.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "dictionary/catalogue.h"
#include "dictionary/modules.h"

namespace {

struct Read {
  std::vector<dict::TableInfo> tables;
  std::vector<dict::CatalogueError> errors;
};

// Reads the text; an exception out of the reader is a failure of its own.
Read ReadText(int module, const std::string& text) {
  Read r;
  try {
    dict::ParseCatalogue(module, text, r.tables, r.errors);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the reader threw " << e.what();
  } catch (...) {
    ADD_FAILURE() << "the reader threw";
  }
  return r;
}

std::string Item(const std::string& label, const std::string& name, const std::string& length,
                 const std::string& fields) {
  return "- " + label + " (prefix " + label + "): SQL Server table (driver MSSQL), " + name +
         ", DataOwner; CREATE, THREAD; record " + length + " bytes.\n  - Fields: " + fields + ".\n  - Keys: none.\n";
}

TEST(CatalogueFaults, LayoutsTheFormatCannotHoldAreOneFaultEach) {
  const std::string good = Item("GOOD", "name = label", "4", "A LONG");
  struct Case {
    const char* label;
    const char* name;
    const char* length;
    std::string fields;
    const char* reason;  // part of the reported reason
  };
  std::string nineHuge;
  for (int i = 0; i < 9; ++i) nineHuge += (i ? "; F" : "F") + std::to_string(i) + " STRING(536870911)";
  const Case cases[] = {
      {"B1", "name = label", "8", "GROUP G over the field 4 bytes back (8 bytes): D DATE, T TIME",
       "placed before the record"},
      {"B2", "name = label", "536870912", "A CSTRING(536870912)", "beyond the TypeRecord format"},
      {"B3", "name = label", "4", "A CSTRING(4294967296)", "not a number"},
      {"B4", "name = label", "1", "A BYTE (position moved by 536870912 bytes)", "beyond the TypeRecord format"},
      // Read as a signed number this would be a move of one byte back.
      {"B5", "name = label", "3", "A BYTE (position moved by 4294967295 bytes)", "a position moved by"},
      {"B6", "name = label", "8", "X STRING(8); GROUP G over the field 4294967288 bytes back (8 bytes): D DATE, T TIME",
       "a position moved by"},
      {"B7", "name = label", "8", "H STRING(8) with GROUP G over it: A LONG, B LONG", "not one DATE and one TIME"},
      {"B8", "name = label", "0", nineHuge, "beyond any record size"},
      {"B9", "name taken from a TableNameVar that the creation sets to \"\"", "4", "A LONG", "table name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const Read r = ReadText(9, good + Item(c.label, c.name, c.length, c.fields) + good);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].module, "M09");
    EXPECT_EQ(r.errors[0].table, c.label);
    EXPECT_NE(r.errors[0].reason.find(c.reason), std::string::npos) << r.errors[0].Message();
    EXPECT_EQ(r.tables.size(), 2u);
  }
}

// The items of a module's text, each with its part lines.
std::vector<std::string> Items(std::string_view text) {
  std::vector<std::string> items;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(pos, end - pos);
    if (line.substr(0, 2) == "- ") items.emplace_back();
    if (!items.empty()) items.back().append(line).push_back('\n');
    pos = end + 1;
  }
  return items;
}

// Every dictionary item with any one of its numbers (sizes, lengths, moves)
// made 0 or a number at or beyond the format's and the reader's limits reads,
// or gives one fault naming its table.
TEST(CatalogueFaults, EveryItemWithANumberChangedReadsOrIsOneFault) {
  const char* numbers[] = {"0", "536870911", "536870912", "2147483648", "4294967295", "4294967296"};
  for (int m = 1; m <= dict::kModuleCount; ++m) {
    for (const std::string& item : Items(dict::ModuleCatalogue(m))) {
      const std::string label = item.substr(2, item.find(' ', 2) - 2);
      for (size_t i = 0; i < item.size(); ++i) {
        // A number standing alone: "(3)", "record 54 bytes", "by 1 bytes"; not a digit of a name.
        if (!std::isdigit(static_cast<unsigned char>(item[i])) || (item[i - 1] != '(' && item[i - 1] != ' ')) continue;
        size_t end = i;
        while (end < item.size() && std::isdigit(static_cast<unsigned char>(item[end]))) ++end;
        if (item[end] != ')' && item[end] != ' ') continue;
        for (const char* n : numbers) {
          const std::string changed = item.substr(0, i) + n + item.substr(end);
          const Read r = ReadText(m, changed);
          ASSERT_EQ(r.tables.size() + r.errors.size(), 1u) << changed;
          if (!r.errors.empty()) {
            ASSERT_EQ(r.errors[0].table, label) << r.errors[0].Message();
          }
        }
        i = end;
      }
    }
  }
}

}  // namespace
