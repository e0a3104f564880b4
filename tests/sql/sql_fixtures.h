// Declarations for the SQL tests, written the way the catalogue lists them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "runtime/decl/file_block.h"
#include "runtime/decl/file_decl.h"

namespace testsupport {

// Builds a record and its keys field by field; names are without the prefix.
class TableBuilder {
 public:
  explicit TableBuilder(std::string prefix) : prefix_(std::move(prefix)) {}

  TableBuilder& Long(const std::string& n) { return Add(rt::FieldType::Long, 0, n); }
  TableBuilder& Byte(const std::string& n) { return Add(rt::FieldType::Byte, 0, n); }
  TableBuilder& Real(const std::string& n) { return Add(rt::FieldType::Real, 0, n); }
  TableBuilder& CStr(const std::string& n, uint32_t size) { return Add(rt::FieldType::CString, size, n); }
  TableBuilder& Str(const std::string& n, uint32_t size, std::optional<int32_t> adjust = {}) {
    Add(rt::FieldType::String, size, n);
    fields_.back().adjust = adjust;
    return *this;
  }
  // A group laid over storage `back` bytes back, holding two members.
  TableBuilder& Group(const std::string& n, int32_t back, rt::FieldType t1, const std::string& m1,
                      rt::FieldType t2, const std::string& m2) {
    rt::FieldSpec g;
    g.type = rt::FieldType::Group;
    g.label = prefix_ + ":" + n;
    g.adjust = -back;
    g.members = {Spec(t1, 0, m1), Spec(t2, 0, m2)};
    fields_.push_back(std::move(g));
    return *this;
  }
  // X_SQLDATEHANDLE, X_SQLDATEGROUP over it: X DATE, X_SQLDATETIMEFIELD TIME.
  TableBuilder& DatePair(const std::string& x) {
    Str(x + "_SQLDATEHANDLE", 8);
    return Group(x + "_SQLDATEGROUP", 8, rt::FieldType::Date, x, rt::FieldType::Time, x + "_SQLDATETIMEFIELD");
  }
  // X_SQLDATEHANDLE, X_SQLDATEGROUP over it: X_SQLDATEDATEFIELD DATE, X TIME.
  TableBuilder& TimePair(const std::string& x) {
    Str(x + "_SQLDATEHANDLE", 8);
    return Group(x + "_SQLDATEGROUP", 8, rt::FieldType::Date, x + "_SQLDATEDATEFIELD", rt::FieldType::Time, x);
  }
  // The modification stamp most tables end with.
  TableBuilder& ModStamp() {
    return DatePair("FECHA_MOD").TimePair("HORA_MOD").CStr("USER_MOD", 3).Byte("HORA_MODX").Byte("MIN_MODX");
  }
  // A key by its name and components (a leading '-' is descending).
  TableBuilder& Key(const std::string& name, uint32_t attrs, const std::vector<std::string>& comps) {
    keys_.push_back({name, attrs, comps});
    return *this;
  }
  TableBuilder& Blob(const std::string& name, bool binary = true) {
    rt::BlobDescriptor b;
    b.label = prefix_ + ":" + name;
    b.attrs = static_cast<uint8_t>(rt::kBlobIsBlob | 0x01 | (binary ? rt::kBlobBinary : 0));
    blobs_.push_back(b);
    return *this;
  }

  std::shared_ptr<const rt::TypeRecord> Record() const {
    return std::make_shared<const rt::TypeRecord>(rt::TypeRecord::Encode(fields_));
  }
  std::vector<rt::KeyDescriptor> Keys(const rt::TypeRecord& record) const {
    std::vector<rt::KeyDescriptor> out;
    for (const auto& k : keys_) {
      rt::KeyDescriptor d;
      d.label = prefix_ + ":" + k.name;
      d.attrs = k.attrs;
      for (const std::string& c : k.comps) {
        bool desc = c[0] == '-';
        int n = record.FindLabel(prefix_ + ":" + (desc ? c.substr(1) : c));
        if (n == 0) throw std::logic_error("no field " + c);
        d.components.push_back(desc ? -n : n);
      }
      out.push_back(std::move(d));
    }
    return out;
  }
  const std::vector<rt::BlobDescriptor>& Blobs() const { return blobs_; }

  // A whole SQL declaration with the given table name and owner text.
  std::unique_ptr<rt::FileDecl> Decl(const std::string& tableName, const std::string& owner,
                                     const std::string& options = "/LOGONSCREEN=FALSE") const {
    auto d = std::make_unique<rt::FileDecl>();
    d->label = tableName;
    d->driver = "MSSQL";
    d->tableName = tableName;
    d->options = options;
    d->ownerLiteral = owner;
    d->record = Record();
    d->keys = Keys(*d->record);
    d->blobs = blobs_;
    d->attrs = rt::kFileOwner | rt::kFileCreate | rt::kFileThread;
    return d;
  }

 private:
  struct KeySpec {
    std::string name;
    uint32_t attrs;
    std::vector<std::string> comps;
  };
  rt::FieldSpec Spec(rt::FieldType t, uint32_t size, const std::string& n) const {
    rt::FieldSpec f;
    f.type = t;
    f.size = size;
    f.label = prefix_ + ":" + n;
    return f;
  }
  TableBuilder& Add(rt::FieldType t, uint32_t size, const std::string& n) {
    fields_.push_back(Spec(t, size, n));
    return *this;
  }

  std::string prefix_;
  std::vector<rt::FieldSpec> fields_;
  std::vector<KeySpec> keys_;
  std::vector<rt::BlobDescriptor> blobs_;
};

inline constexpr uint32_t kDupOpt = rt::kKeyDup | rt::kKeyOpt;
inline constexpr uint32_t kPrimaryOpt = rt::kKeyPrimary | rt::kKeyOpt;

TableBuilder Hdscrap();
TableBuilder Imagenes();
TableBuilder Logs();
TableBuilder DetEmpcertmd();
TableBuilder Detsnpedim();
TableBuilder ExcepReglasOrg();

// Creates the file's table, then opens and closes it, each answering no error
// (a failed CREATE is fatal: callers wrap the call in ASSERT_NO_FATAL_FAILURE).
void CreateOpenAndClose(rt::FileBlock& f);

}  // namespace testsupport
