// SQLite files beside the program, as a test makes and looks at them: SQL run
// on a file, a folder's files with their bytes, and a field of a declaration.
#pragma once

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "runtime/decl/type_record.h"

namespace testsupport {

// Runs SQL on an open database; a failure fails the test with SQLite's words.
inline void ExecSql(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "") << " in " << sql;
  sqlite3_free(err);
}

// Runs SQL on an SQLite file, made when missing.
inline void ExecSql(const std::filesystem::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  ExecSql(db, sql);
  sqlite3_close(db);
}

// Every regular file of the folder with its bytes.
inline std::map<std::string, std::string> FolderBytes(const std::filesystem::path& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    out[e.path().filename().string()] = {std::istreambuf_iterator<char>(in), {}};
  }
  return out;
}

// A field of a declaration's record: its type, label and size.
inline rt::FieldSpec Field(rt::FieldType t, std::string label, uint32_t size = 0) {
  return rt::FieldSpec{.type = t, .size = size, .label = std::move(label)};
}

}  // namespace testsupport
