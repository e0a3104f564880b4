// The local-file driver "TOPSPEED": a local keyed file is an SQLite 3 database
// holding one table named as the file (without its extension), with one column
// per field of the declaration named as the field without its prefix. Texts
// are UTF-8 and reach the record in Windows-1252; a date is kept as the text
// "year-month-day" and a time as "hours:minutes:seconds.hh", each number as
// stored, so any stored value reaches the reader unchanged; an empty value is
// NULL or ''. A value its field cannot hold exactly (a character the code page
// lacks, a text longer than the field, a number out of its range or not a
// number, a date or time of another form) stops the sequence with an error
// naming the record, the column and the value. Records are read one at a time;
// the driver never creates or writes a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/base/datetime.h"
#include "runtime/files/file_driver.h"

namespace rt {

class SqliteFileDriver : public FileDriver {
 public:
  std::string Name() const override { return "TOPSPEED"; }
  int Open(FileBlock& file, int mode) override;
  int Close(FileBlock& file) override;
  int Create(FileBlock&) override { return kNoCreateAttribute; }
  int SetKey(FileBlock& file, const KeyDescriptor& key) override;
  int Next(FileBlock& file) override;
  bool GetProperty(FileBlock& file, int prop, std::string& value) override;
  void Destroy(FileBlock& file) override;
};

// The file of a table the driver's declarations name: ".TPS" added to a name
// without an extension; a name without a directory is relative to the current
// directory.
std::string TopSpeedFileName(std::string_view name);

// Registers the local-file driver under "TOPSPEED".
void RegisterSqliteFileDriver();

// A date or time from the text it is kept as; nullopt for a text that holds
// no storage value (a number out of the storage's range, a missing part).
std::optional<DateStorage> ParseLocalDate(std::string_view text);
std::optional<TimeStorage> ParseLocalTime(std::string_view text);

}  // namespace rt
