// Typed references to one field or variable: its address, type code and size.
// A reference is a small value; "releasing" one clears it.
#pragma once

#include <cstdint>

#include "runtime/base/program.h"
#include "runtime/decl/type_record.h"

namespace rt {

struct FieldRef {
  void* address = nullptr;
  uint8_t type = 0;     // a FieldType code
  uint32_t size = 0;
  uint8_t precision = 0;

  explicit operator bool() const { return address != nullptr; }
};

// Fatal runtime error 501: a reference of an unknown type was asked for.
[[noreturn]] inline void MakeFieldRefFailed() { RuntimeErrorHalt(501, "Make UFO Error"); }

inline FieldRef MakeFieldRef(void* address, int typeCode, uint32_t size, int precision = 0) {
  if (!IsKnownTypeCode(typeCode)) MakeFieldRefFailed();
  return FieldRef{address, static_cast<uint8_t>(typeCode), size, static_cast<uint8_t>(precision)};
}

// Stores the reference in the slot, replacing (releasing) the one held there.
inline void AssignFieldRef(FieldRef& slot, const FieldRef& ref) { slot = ref; }
inline void ReleaseFieldRef(FieldRef& ref) { ref = FieldRef{}; }

}  // namespace rt
