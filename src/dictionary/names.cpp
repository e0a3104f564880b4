// The program-wide name variables: the two connection owners and the
// table-name variables, with the tables each one names.
#include "dictionary/names.h"

#include <array>

namespace dict {

rt::OwnerVar DataOwner;
rt::OwnerVar ServerOwner;

namespace {

struct NamedVar {
  std::string_view label;
  rt::TableNameVar var;
};

// Eleven SQL tables (set by the creation procedure) and thirteen local files.
std::array<NamedVar, 24> g_tableNames{{
    {"USUAR_EXT", {}}, {"LOGS", {}}, {"TEMPORAL", {}}, {"PRIVILEG_EMPRESAS", {}},
    {"PERFIL_USUAR", {}}, {"PRIVILEG", {}}, {"SISTEMAS", {}}, {"USUAR", {}},
    {"PARAMETROS", {}}, {"EMPRESAS", {}}, {"PERIODOS", {}},
    {"LL_RepLay", {}}, {"LL_RepArea", {}}, {"BOMS_TXT", {}}, {"PARTS_TXT", {}},
    {"NET", {}}, {"LL_MODULOS", {}}, {"LL_TIPOS", {}}, {"DEFAULTS_CLIENTE", {}},
    {"AMX_ASC", {}}, {"AMX_ASC2", {}}, {"EDI_USA_ASCII", {}}, {"CREMOTA", {}},
    {"TRADUCCION", {}},
}};

}  // namespace

rt::TableNameVar* TableNameVarOf(std::string_view label) {
  for (auto& n : g_tableNames)
    if (n.label == label) return &n.var;
  return nullptr;
}

const std::vector<std::string_view>& TableNameVarLabels() {
  static const std::vector<std::string_view> labels = [] {
    std::vector<std::string_view> v;
    for (const auto& n : g_tableNames) v.push_back(n.label);
    return v;
  }();
  return labels;
}

}  // namespace dict
