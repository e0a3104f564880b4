// Records of the migration: fields by name, the copy of an old-layout record
// into its changed table, and the carrying of a source's records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/repaint_throttle.h"
#include "runtime/decl/file_block.h"

namespace app {

// A key of an instance by its label ("USE:KEY_CODIGO"); the key must exist.
rt::KeyDescriptor& KeyByLabel(rt::FileBlock& file, std::string_view label);
rt::KeyDescriptor& PrimaryKeyOf(rt::FileBlock& file);

// Fields of an instance's record by their names, without prefixes; the field must exist.
std::string RecordText(rt::FileBlock& file, std::string_view name);
void SetRecordText(rt::FileBlock& file, std::string_view name, std::string_view text);
void SetRecordDate(rt::FileBlock& file, std::string_view name, int32_t standardDate);
void SetRecordTime(rt::FileBlock& file, std::string_view name, int32_t standardTime);

// How a changed table's record is filled from an old-layout record: each field
// from its namesake (dates and times through the standard values, so that what
// no calendar holds is normalised or emptied), the time part of a date empty,
// the date part of a time 1 January 1900, and a field the source lacks (or the
// one named keepEmpty) left empty. Worked out once per table, used per record.
class CopyPlan {
 public:
  CopyPlan(const rt::TypeRecord& from, const rt::TypeRecord& to, std::string_view keepEmpty);
  void Fill(const rt::FileBlock& source, rt::FileBlock& target) const;

 private:
  enum class Op { EmptyTime, Jan1900, Date, Time, CString, Raw };
  struct Step {
    Op op;
    uint32_t to, toSize, from, fromSize;
  };
  std::vector<Step> steps_;
};

// What became of one source's records.
struct Carried {
  bool present = false;              // the source is there
  std::string problem;               // why a record could not be read or added; empty when none
  bool unreadable = false;           // the problem is the source's: a record could not be read
  size_t notTaken = 0;               // records whose key the table holds with other values
  std::vector<std::string> notTakenKeys;  // the first few of them
};

// Carries every record of an open source, in its primary key's order, into the
// changed table. A record whose key the table holds already is passed over
// when the row there is the same in every field (it arrived before) and
// counted as not taken otherwise; any other refusal ends the copy.
void CarryRows(rt::FileBlock& source, rt::FileBlock& target, const CopyPlan& plan, Carried& out,
               RepaintThrottle& painter);

// The local file of the old layout, opened and held against writers: a
// missing file has nothing to carry; one that is there but cannot be opened
// has its problem told.
Carried OpenLocalFile(rt::FileBlock& local);

// Reads an open local file through, in its own order, so that a value its
// field cannot hold exactly is found before anything changes on the server;
// the file is closed when one is found (c.problem).
void ReadThrough(rt::FileBlock& local, Carried& c, RepaintThrottle& painter);

// The fields of a key, without prefixes, as a message names them ("UNICO").
std::string KeyFields(const rt::FileBlock& file, const rt::KeyDescriptor& key);
// The keys of the records not taken, as a message lists them.
std::string NotTakenKeys(const Carried& c);

}  // namespace app
