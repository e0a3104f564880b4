// The relation manager of one table: registration of its relations and the
// open and close passes over the related tables.
#include "classlib/table_relations.h"

namespace classlib {
namespace {
// The calling thread's latest top-level pass.
thread_local uint64_t t_currentPass = 0;
}  // namespace

void TableRelations::Setup(TableManager& manager, bool useLogoutFlag) {
  me = &manager;
  relations = std::make_unique<std::vector<Relation>>();
  lastByKey_ = -1;
  useLogout = useLogoutFlag;
  logoutTimeout = 2;
}

void TableRelations::Teardown() {
  if (!relations) return;
  relations.reset();  // each entry's pair list goes with it
  lastByKey_ = -1;
}

void TableRelations::EnsureRelationsAdded() {
  if (deferedRelationsDone) return;
  // Marked first, so a registration that opens this table again does not attach twice.
  deferedRelationsDone = true;
  AttachRelations();
}

void TableRelations::AddRelated(TableRelations& related) {
  if (!relations) return;
  Relation r;
  r.file = &related;
  relations->push_back(std::move(r));
}

void TableRelations::AddRelatedByKey(TableRelations& related, uint8_t updateMode, uint8_t deleteMode,
                                     rt::KeyDescriptor& key) {
  if (!relations) return;
  AddRelated(related);
  Relation& r = relations->back();
  r.fields = std::make_unique<FieldPairList>();
  r.updateMode = updateMode;
  r.deleteMode = deleteMode;
  r.hisKey = &key;
  lastByKey_ = static_cast<int>(relations->size()) - 1;
}

void TableRelations::AddLinkFields(const rt::FieldRef& left, const rt::FieldRef& right) {
  if (!relations || lastByKey_ < 0 || static_cast<size_t>(lastByKey_) >= relations->size()) return;
  Relation& r = (*relations)[lastByKey_];
  if (!r.fields) return;
  r.fields->push_back(FieldPair{left, right, std::vector<uint8_t>(left.size)});
}

void TableRelations::AddLinkByAddress(int32_t* left, int32_t* right) {
  rt::FieldRef l = rt::MakeFieldRef(left, static_cast<int>(rt::FieldType::Long), 4, 0);
  rt::FieldRef r = rt::MakeFieldRef(right, static_cast<int>(rt::FieldType::Long), 4, 0);
  AddLinkFields(l, r);
  rt::ReleaseFieldRef(l);
  rt::ReleaseFieldRef(r);
}

// Starts this table's part of a pass; false when a nested pass finds it visited already.
bool TableRelations::BeginPass(bool nested) {
  if (!nested) {
    ++t_currentPass;
  } else if (lastTouched == t_currentPass) {
    return false;
  }
  lastTouched = t_currentPass;
  return true;
}

int TableRelations::OpenWithRelated(bool nested) {
  if (!BeginPass(nested)) return ResultOk;
  if (!me) return ResultHardFail;
  forcingOpen = !me->lazyOpen;
  int result = me->OpenTable();
  if (!nested) result = me->EnsureReady(UseAccess);
  if (!nested || forcingOpen) EnsureRelationsAdded();
  if (relations) {
    for (size_t i = 0; result == ResultOk && i < relations->size(); ++i) {
      TableRelations* other = (*relations)[i].file;
      if (!other || !other->me) continue;
      int before = other->me->opened;
      result = other->OpenWithRelated(true);
      if (other->me->opened > before) ++(*relations)[i].opened;
    }
  }
  forcingOpen = false;
  return result;
}

int TableRelations::CloseWithRelated(bool nested) {
  if (!BeginPass(nested)) return ResultOk;
  if (!me) return ResultHardFail;
  forcingOpen = !me->lazyOpen;
  int result = me->CloseTable();
  if (!nested || forcingOpen) EnsureRelationsAdded();
  if (relations) {
    for (size_t i = 0; result == ResultOk && i < relations->size(); ++i) {
      TableRelations* other = (*relations)[i].file;
      if ((*relations)[i].opened == 0 || !other || !other->me) continue;
      int before = other->me->opened;
      result = other->CloseWithRelated(true);
      if (other->me->opened < before) --(*relations)[i].opened;
    }
  }
  forcingOpen = false;
  return result;
}

}  // namespace classlib
