// The ODBC driver chosen among those the driver manager lists.
#include "runtime/sql/odbc_driver_choice.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "runtime/base/text.h"
#include "runtime/sql/odbc_call.h"

namespace rt {

using odbc::Answer;
using odbc::AnswerOf;
using odbc::EnvHandle;

namespace {

// The version of a name "ODBC Driver NN for SQL Server" (any letter case), the
// SQL Server vendor's own driver on this platform; nullopt for any other name.
std::optional<int> VendorDriverVersion(std::string_view name) {
  constexpr std::string_view head = "ODBC Driver ", tail = " for SQL Server";
  if (name.size() <= head.size() + tail.size() || !StartsWithNoCase(name, head) ||
      !SameText(name.substr(name.size() - tail.size()), tail))
    return std::nullopt;
  const std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
  if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stoi(std::string(digits));
}

}  // namespace

std::optional<std::string> ChooseOdbcDriver(const std::vector<std::string>& installed,
                                            std::string_view configuredPrefix) {
  std::vector<std::string> names;
  for (size_t i = 0; i < installed.size() && i < kMaxOdbcDrivers; ++i)
    if (std::find(names.begin(), names.end(), installed[i]) == names.end()) names.push_back(installed[i]);
  // The first name that fits, tried rule after rule.
  const auto first = [&](auto fits) -> std::optional<std::string> {
    const auto found = std::find_if(names.begin(), names.end(), fits);
    if (found == names.end()) return std::nullopt;
    return *found;
  };
  const auto startsWith = [](std::string_view prefix) {
    return [prefix](const std::string& n) { return StartsWithNoCase(n, prefix); };
  };
  if (!configuredPrefix.empty()) return first(startsWith(configuredPrefix));
  if (auto chosen = first(startsWith("SQL Native Client"))) return chosen;
  if (auto chosen = first(startsWith("SQL Server"))) return chosen;
  // The SQL Server drivers of this platform under their own names: the vendor's,
  // newest first, then FreeTDS.
  std::optional<std::string> newest;
  int newestVersion = -1;
  for (const std::string& n : names)
    if (const std::optional<int> v = VendorDriverVersion(n); v && *v > newestVersion) {
      newestVersion = *v;
      newest = n;
    }
  if (newest) return newest;
  return first([](const std::string& n) { return SameText(n, "FreeTDS"); });
}

std::vector<std::string> InstalledOdbcDrivers() {
  std::vector<std::string> names;
  const std::shared_ptr<const EnvHandle> env = odbc::Environment();
  if (!env) return names;
  SQLCHAR desc[512], attrs[2048];
  SQLSMALLINT descLen = 0, attrLen = 0;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  while (names.size() < kMaxOdbcDrivers) {
    const Answer listed = AnswerOf("SQLDrivers", *env, SQLDrivers(env->get(), direction, desc, sizeof desc, &descLen,
                                                                   attrs, sizeof attrs, &attrLen));
    if (!listed || *listed == SQL_NO_DATA) break;
    names.emplace_back(reinterpret_cast<char*>(desc));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

std::string ConfiguredOdbcDriverPrefix() {
  const char* v = std::getenv("ORTAVIA_SQL_DRIVER");
  return v ? v : "";
}

std::optional<std::string> ChosenOdbcDriver() {
  return ChooseOdbcDriver(InstalledOdbcDrivers(), ConfiguredOdbcDriverPrefix());
}

}  // namespace rt
