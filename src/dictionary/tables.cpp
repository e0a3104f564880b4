// The dictionary's declarations, read from the eighteen modules' texts on
// first use and looked up by label or position.
#include "dictionary/tables.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "dictionary/modules.h"
#include "dictionary/test_hooks.h"

namespace dict {

namespace {

// A test's text in place of a module's own (dictionary/test_hooks.h).
std::array<std::optional<std::string>, kModuleCount>& Replacements() {
  static std::array<std::optional<std::string>, kModuleCount> texts;
  return texts;
}

}  // namespace

std::string_view ModuleCatalogue(int n) {
  using Text = std::string_view (*)();
  static constexpr Text kTexts[kModuleCount] = {
      CatalogueM01, CatalogueM02, CatalogueM03, CatalogueM04, CatalogueM05, CatalogueM06,
      CatalogueM07, CatalogueM08, CatalogueM09, CatalogueM10, CatalogueM11, CatalogueM12,
      CatalogueM13, CatalogueM14, CatalogueM15, CatalogueM16, CatalogueM17, CatalogueM18,
  };
  if (n < 1 || n > kModuleCount) return {};
  if (const auto& replaced = Replacements()[static_cast<size_t>(n - 1)]) return *replaced;
  return kTexts[n - 1]();
}

void ReplaceModuleCatalogue(int module, std::string text) {
  if (module >= 1 && module <= kModuleCount) Replacements()[static_cast<size_t>(module - 1)] = std::move(text);
}

namespace {

struct Loaded {
  std::vector<TableInfo> tables;
  std::vector<CatalogueError> errors;
  std::unordered_map<std::string_view, int> index;
};

Loaded Load() {
  Loaded l;
  for (int m = 1; m <= kModuleCount; ++m) ParseCatalogue(m, ModuleCatalogue(m), l.tables, l.errors);
  for (size_t i = 0; i < l.tables.size(); ++i) {
    const std::string& label = l.tables[i].decl.label;
    if (!l.index.emplace(label, static_cast<int>(i)).second)
      l.errors.push_back({ModuleName(l.tables[i].module), label, label, "the label is declared twice"});
  }
  return l;
}

const Loaded& Dictionary() {
  static const Loaded loaded = Load();
  return loaded;
}

}  // namespace

std::vector<CatalogueError> CheckCatalogues() { return Dictionary().errors; }

const std::vector<TableInfo>& Tables() {
  const Loaded& l = Dictionary();
  if (!l.errors.empty()) throw std::logic_error("dictionary declarations: " + l.errors.front().Message());
  return l.tables;
}

int TableIndex(std::string_view label) {
  const Loaded& l = Dictionary();
  auto it = l.index.find(label);
  return it == l.index.end() ? -1 : it->second;
}

const TableInfo* FindTable(std::string_view label) {
  int i = TableIndex(label);
  return i < 0 ? nullptr : &Tables()[static_cast<size_t>(i)];
}

}  // namespace dict
