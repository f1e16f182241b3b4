// Lookup of published operations along a class's ancestry.
#include "script/Published.h"

#include "runtime/Strings.h"

constinit const TPublishedTable<TPublishedObject> TPublishedObject::Published{"TPublishedObject", {}, nullptr};

TPublishedMethod FindPublishedMethod(const TPublishedClass& cls, std::string_view name) {
  for (const TPublishedClass* c = &cls; c != nullptr; c = c->Parent) {
    for (std::size_t i = 0; i < c->Count(); ++i) {
      if (rtl::SameText(c->NameAt(i), name)) return TPublishedMethod{c, i};
    }
  }
  return TPublishedMethod{};
}
