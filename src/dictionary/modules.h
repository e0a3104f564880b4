// The catalogue texts of the eighteen dictionary modules, one per source file.
#pragma once

#include <string_view>

namespace dict {

std::string_view CatalogueM01();
std::string_view CatalogueM02();
std::string_view CatalogueM03();
std::string_view CatalogueM04();
std::string_view CatalogueM05();
std::string_view CatalogueM06();
std::string_view CatalogueM07();
std::string_view CatalogueM08();
std::string_view CatalogueM09();
std::string_view CatalogueM10();
std::string_view CatalogueM11();
std::string_view CatalogueM12();
std::string_view CatalogueM13();
std::string_view CatalogueM14();
std::string_view CatalogueM15();
std::string_view CatalogueM16();
std::string_view CatalogueM17();
std::string_view CatalogueM18();

inline constexpr int kModuleCount = 18;

// The catalogue text of module n (1 to 18).
std::string_view ModuleCatalogue(int n);

}  // namespace dict
