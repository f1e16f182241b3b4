// Named objects.
#include "foundation/KeshBaseObject.h"

TKeshBaseObject::TKeshBaseObject(const char* className) : className_(className) {
  std::string_view name = className;
  if (!name.empty()) name.remove_prefix(1);
  TKeshBaseObject::SetName(std::string(name) + "_Default");
}

void TKeshBaseObject::SetName(std::string_view value) {
  name_ = std::string(value.substr(0, MaxNameLength));
}

std::unique_ptr<TKeshBaseObject> TKeshBaseObject::Create() const {
  return std::make_unique<TKeshBaseObject>();
}

bool TKeshBaseObject::Assign(const TKeshBaseObject* source) {
  if (source == nullptr) return false;
  SetName(source->Name());
  return true;
}

void TraceMessage(int32_t, std::string_view, bool, bool) {}
