// Reading the declaration text: every module reads without fault, and faulty
// texts are reported with module, table and the offending text.
#include <gtest/gtest.h>

#include "dictionary/catalogue.h"
#include "dictionary/modules.h"
#include "dictionary/tables.h"

namespace {

TEST(Catalogue, EveryModuleReadsWithoutFault) {
  size_t read = 0;
  for (int m = 1; m <= dict::kModuleCount; ++m) {
    std::vector<dict::TableInfo> tables;
    std::vector<dict::CatalogueError> errors;
    dict::ParseCatalogue(m, dict::ModuleCatalogue(m), tables, errors);
    for (const auto& e : errors) ADD_FAILURE() << e.Message();
    EXPECT_FALSE(tables.empty()) << dict::ModuleName(m);
    read += tables.size();
  }
  for (const auto& e : dict::CheckCatalogues()) ADD_FAILURE() << e.Message();
  EXPECT_EQ(dict::Tables().size(), read);
}

}  // namespace
