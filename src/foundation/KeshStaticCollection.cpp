// Static collections and the two global libraries.
#include "foundation/KeshStaticCollection.h"

#include <string>

#include "runtime/Units.h"

namespace {

constexpr int32_t InitializationFailedCode = 1;

}  // namespace

int32_t TKeshStaticCollection::Add(std::unique_ptr<TKeshBaseObject> item) {
  Items.push_back(std::move(item));
  return Count() - 1;
}

TKeshBaseObject* TKeshStaticCollection::GetItem(int32_t index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return Items[index].get();
}

void TKeshStaticCollection::ForEach(const std::function<bool(TKeshBaseObject&)>& callback) const {
  for (const auto& item : Items)
    if (item && !callback(*item)) return;
}

std::unique_ptr<TKeshBaseObject> TKeshStaticCollection::Create() const {
  return std::make_unique<TKeshStaticCollection>();
}

bool TKeshStaticCollection::Assign(const TKeshBaseObject* source) {
  if (!TKeshBaseObject::Assign(source)) return false;
  const auto* collection = dynamic_cast<const TKeshStaticCollection*>(source);
  if (collection == nullptr) return false;
  // Copy before clearing, so assigning a collection from itself keeps its items.
  TKeshBaseObjects copies;
  for (const auto& item : collection->Items) {
    std::unique_ptr<TKeshBaseObject> copy;
    if (item) {
      copy = item->Create();
      if (!copy->Assign(item.get())) {
        Clear();
        return false;
      }
    }
    copies.push_back(std::move(copy));
  }
  Items = std::move(copies);
  return true;
}

bool TKeshStaticCollection::Initialize() {
  bool result = true;
  for (const auto& item : Items) {
    if (!item) continue;  // empty entries have nothing to initialize
    result = item->Initialize();
    if (!result) {
      TraceMessage(InitializationFailedCode,
                   "ERROR (code " + std::to_string(InitializationFailedCode) + "): \"" +
                       item->ClassName() + "." + item->Name() + "\" initialization failed",
                   true, true);
      break;
    }
  }
  return result;
}

std::unique_ptr<TKeshBaseObject> TKeshMorphFuncLib::Create() const {
  return std::make_unique<TKeshMorphFuncLib>();
}

std::unique_ptr<TKeshBaseObject> TKeshMorphLib::Create() const {
  return std::make_unique<TKeshMorphLib>();
}

TKeshMorphFuncLib* GlobalFunctionsLibrary = nullptr;
TKeshMorphLib* GlobalMorphsLibrary = nullptr;

namespace {

// Builds the libraries at start-up; the exit routine frees them, morphs first.
const bool librariesCreated = [] {
  GlobalFunctionsLibrary = new TKeshMorphFuncLib();
  GlobalFunctionsLibrary->SetName("GlobalFunctionsLibrary");
  GlobalMorphsLibrary = new TKeshMorphLib();
  GlobalMorphsLibrary->SetName("GlobalMorphsLibrary");
  rtl::AddFinalizer([] {
    delete GlobalMorphsLibrary;
    GlobalMorphsLibrary = nullptr;
    delete GlobalFunctionsLibrary;
    GlobalFunctionsLibrary = nullptr;
  });
  return true;
}();

}  // namespace
