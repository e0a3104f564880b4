// The tables with behaviour beyond their declaration: relations between 23
// tables, the new-record defaults of two and the field check of one.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dictionary/behaviour.h"
#include "dictionary/dictionary.h"

namespace dict {

namespace {

using classlib::RelationNoAction;
using classlib::RelationRestrict;

using Pairs = std::vector<std::pair<const char*, const char*>>;

const Pairs& DocumentTriple() {
  static const Pairs triple = {{"TIPO", "TIPO"}, {"SUBTIPO", "SUBTIPO"}, {"FACTURA", "FACTURA"}};
  return triple;
}

std::vector<ParentRelation> MakeParentRelations() {
  const Pairs& doc = DocumentTriple();
  return {
      {"CTRSCRAP", "HDSCRAP", RelationRestrict, "HDS:KEY_FKTRANSPORTE", {{"PK_CONTROL", "FK_CONTROL"}}},
      {"HDSCRAP", "DTSCRAP", RelationRestrict, "DTS:KEY_FKCONTROL", {{"PK_CONTROL", "FK_CONTROL"}}},
      {"MERCANCIAS", "ACCESORIOS", RelationNoAction, "ACC:KEY_CODIGO", {{"CODIGO", "MODELO"}}},
      {"MERCANCIAS", "ADIC_MERCANCIAS", RelationNoAction, "ADI:KEY_CODIGO", {{"CODIGO", "CODIGO"}}},
      {"MERCANCIAS", "PAI_DET", RelationRestrict, "PAI2:KEY_CODIGO", {{"CODIGO", "PARTE"}}},
      {"REFERENCIAS", "ORP_CONSUMO", RelationRestrict, "ORP1:KEY_FACTURA", doc},
      {"REFERENCIAS", "ANE_FACT", RelationNoAction, "ANF:KEY_CODIGO", doc},
      {"REFERENCIAS", "DTADIC", RelationNoAction, "DTA:KEY_CODIGO", doc},
      {"REFERENCIAS", "SALIDAS", RelationRestrict, "SAL:KEY_CODIGO", doc},
      {"REFERENCIAS", "ENTRADAS", RelationRestrict, "ENT:KEY_CODIGO", doc},
      {"REFEDEF", "ANE_FACT", RelationNoAction, "ANF:KEY_CODIGO", doc},
      {"REFEDEF", "DTADIC", RelationNoAction, "DTA:KEY_CODIGO", doc},
      {"REFEDEF", "SALIDADE", RelationRestrict, "SDE:KEY_CODIGO", doc},
      {"REFEREEQ", "ANE_FACT", RelationNoAction, "ANF:KEY_CODIGO", doc},
      {"REFEREEQ", "DTADIC", RelationNoAction, "DTA:KEY_CODIGO", doc},
      {"REFEREEQ", "SALIDAEQ", RelationRestrict, "SEQ:KEY_CODIGO", doc},
      {"REFEREEQ", "ENTRADEQ", RelationRestrict, "EEQ:KEY_CODIGO", doc},
      {"REFERESM", "ANE_FACT", RelationNoAction, "ANF:KEY_CODIGO", doc},
      {"REFERESM", "DTADIC", RelationNoAction, "DTA:KEY_CODIGO", doc},
      {"REFERESM", "ENTRADSM", RelationRestrict, "ESM:KEY_CODIGO", doc},
      {"REFERESM", "SALIDASM", RelationRestrict, "SSM:KEY_CODIGO", doc},
      {"LL_RepArea", "LL_RepLay", RelationNoAction, "LLL_:AREAREFKEY", {{"REF", "AREAREF"}}},
  };
}

// The plain entries of each child, in the order it registers its parents.
std::vector<ChildRelations> MakeChildRelations() {
  return {
      {"HDSCRAP", {"CTRSCRAP"}},
      {"DTSCRAP", {"HDSCRAP"}},
      {"ACCESORIOS", {"MERCANCIAS"}},
      {"ADIC_MERCANCIAS", {"MERCANCIAS"}},
      {"PAI_DET", {"MERCANCIAS"}},
      {"ORP_CONSUMO", {"REFERENCIAS"}},
      {"SALIDAS", {"REFERENCIAS"}},
      {"ENTRADAS", {"REFERENCIAS"}},
      {"ANE_FACT", {"REFERENCIAS", "REFEDEF", "REFERESM", "REFEREEQ"}},
      {"DTADIC", {"REFERESM", "REFEREEQ", "REFEDEF", "REFERENCIAS"}},
      {"SALIDADE", {"REFEDEF"}},
      {"SALIDAEQ", {"REFEREEQ"}},
      {"ENTRADEQ", {"REFEREEQ"}},
      {"ENTRADSM", {"REFERESM"}},
      {"SALIDASM", {"REFERESM"}},
      {"LL_RepLay", {"LL_RepArea"}},
  };
}

// Entry number and thread-instance address of a field of a table.
struct FieldAt {
  const rt::TypeEntry* entry = nullptr;
  uint8_t* address = nullptr;
};

FieldAt FieldOf(const TableInfo& t, std::string_view name) {
  std::string label = t.prefix + ":" + std::string(name);
  int n = t.decl.record->FindLabel(label);
  if (n == 0) return {};
  const rt::TypeEntry& e = t.decl.record->entry(n);
  return {&e, rt::ThreadFile(t.decl).buffer() + e.offset};
}

rt::KeyDescriptor* KeyLabelled(const TableInfo& t, std::string_view label) {
  for (auto& k : rt::ThreadFile(t.decl).keys())
    if (k.label == label) return &k;
  return nullptr;
}

// The one field check: the table, its field (by top-level number), the field's
// label for messages, the valid codes each between "]" and "[", and the list
// as the message names it.
struct FieldCheck {
  std::string_view table;
  int fieldNumber;
  const char* fieldLabel;
  const char* list;
  const char* message;
};

constexpr FieldCheck kTelefonosCheck{"Telefonos", 4, "Tipo de Telefono (0 - Mexico  1 - USA)", "]0[]1[",
                                     "'Mexico','USA'"};

}  // namespace

const std::vector<ParentRelation>& ParentRelations() {
  static const std::vector<ParentRelation> list = MakeParentRelations();
  return list;
}

const std::vector<ChildRelations>& ChildRelationList() {
  static const std::vector<ChildRelations> list = MakeChildRelations();
  return list;
}

const std::vector<NewRecordDefault>& NewRecordDefaults() {
  static const std::vector<NewRecordDefault> list = {
      {"PROVEEDORES", {"ORIGEN"}},
      {"EMPRESAS", {"CHK_TRA", "STAT_BOM"}},
  };
  return list;
}

void DictTableRelations::DefineRelations() {
  const TableInfo& me = info();
  for (const auto& child : ChildRelationList()) {
    if (child.table != me.decl.label) continue;
    for (const char* parent : child.parents)
      if (DictTableRelations* related = TableRelationsRef(parent)) AddRelated(*related);
  }
  for (const auto& rel : ParentRelations()) {
    if (rel.parent != me.decl.label) continue;
    const TableInfo* child = FindTable(rel.child);
    DictTableRelations* related = TableRelationsRef(rel.child);
    rt::KeyDescriptor* key = child ? KeyLabelled(*child, rel.childKey) : nullptr;
    if (!child || !related || !key) continue;
    AddRelatedByKey(*related, rel.mode, rel.mode, *key);
    for (const auto& [mine, theirs] : rel.pairs) {
      FieldAt a = FieldOf(me, mine);
      FieldAt b = FieldOf(*child, theirs);
      if (!a.entry || !b.entry) continue;
      if (a.entry->type == rt::FieldType::Long) {
        AddLinkByAddress(reinterpret_cast<int32_t*>(a.address), reinterpret_cast<int32_t*>(b.address));
      } else {
        rt::FieldRef left = rt::MakeFieldRef(a.address, static_cast<int>(rt::FieldType::CString), a.entry->size);
        rt::FieldRef right = rt::MakeFieldRef(b.address, static_cast<int>(rt::FieldType::CString), b.entry->size);
        AddLinkFields(left, right);
        rt::ReleaseFieldRef(left);
        rt::ReleaseFieldRef(right);
      }
    }
  }
}

void DictTableManager::SetNewRecordDefaults() {
  const TableInfo& t = info();
  for (const auto& d : NewRecordDefaults()) {
    if (d.table != t.decl.label) continue;
    for (const char* name : d.fields) {
      int n = t.decl.record->FindLabel(t.prefix + ":" + name);
      if (n != 0 && buffer.address) buffer.address[t.decl.record->entry(n).offset] = 1;
    }
  }
  TableManager::SetNewRecordDefaults();
}

int DictTableManager::CheckFieldValue(int fieldNumber, bool report) {
  int result = TableManager::CheckFieldValue(fieldNumber, report);
  const FieldCheck& check = kTelefonosCheck;
  if (info().decl.label != check.table || fieldNumber != check.fieldNumber) return result;
  Reporter().SetFieldLabel(check.fieldLabel);
  // The field's text up to its terminator, within its declared size.
  std::string value;
  const rt::TypeRecord& r = *info().decl.record;
  int entry = 0;
  for (int n = 1, top = 0; n <= static_cast<int>(r.entryCount()); ++n)
    if (r.entry(n).parent == 0 && ++top == fieldNumber) {
      entry = n;
      break;
    }
  if (entry != 0 && buffer.address) {
    const rt::TypeEntry& e = r.entry(entry);
    const char* p = reinterpret_cast<const char*>(buffer.address + e.offset);
    value.assign(p, strnlen(p, e.size));
  }
  // A value holding the list's own brackets could match across two codes
  // ("0[]1"); only a whole code is valid.
  bool bracketed = value.find_first_of("[]") != std::string::npos;
  if (bracketed || std::string(check.list).find("]" + value + "[") == std::string::npos)
    result = classlib::ResultSoftFail;
  if (result != classlib::ResultOk && report)
    result = Reporter().RaiseWithText(classlib::ErrorId::ValueNotInList, check.message, Context());
  return result;
}

}  // namespace dict
