// An owning list of named objects that deep-copies through each item's virtual constructor, and
// the two global, empty libraries built on it. Entries may be empty (null).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/KeshBaseObject.h"

using TKeshBaseObjects = std::vector<std::unique_ptr<TKeshBaseObject>>;

class TKeshStaticCollection : public TKeshBaseObject {
public:
  TKeshStaticCollection() : TKeshStaticCollection("TKeshStaticCollection") {}
  ~TKeshStaticCollection() override { Clear(); }

  void Clear() { Items.clear(); }
  int32_t Count() const { return static_cast<int32_t>(Items.size()); }
  // Takes ownership; an empty item is kept as an empty entry. Returns its index.
  int32_t Add(std::unique_ptr<TKeshBaseObject> item);
  TKeshBaseObject* GetItem(int32_t index) const;  // null outside 0 .. Count-1
  // Visits the non-empty items in order until the callback returns false.
  void ForEach(const std::function<bool(TKeshBaseObject&)>& callback) const;

  std::unique_ptr<TKeshBaseObject> Create() const override;
  // Needs a collection as Source. Each item is copied into a new object of its own class; when
  // one copy fails the collection ends up empty and the result is false.
  bool Assign(const TKeshBaseObject* source) override;
  // Initializes the items in order and stops at the first that fails, which is traced.
  bool Initialize() override;

  TKeshBaseObjects Items;

protected:
  explicit TKeshStaticCollection(const char* className) : TKeshBaseObject(className) {}
};

class TKeshMorphFuncLib : public TKeshStaticCollection {
public:
  TKeshMorphFuncLib() : TKeshStaticCollection("TKeshMorphFuncLib") {}
  std::unique_ptr<TKeshBaseObject> Create() const override;
};

class TKeshMorphLib : public TKeshStaticCollection {
public:
  TKeshMorphLib() : TKeshStaticCollection("TKeshMorphLib") {}
  std::unique_ptr<TKeshBaseObject> Create() const override;
};

// Created at start-up under their own names and freed by the exit routine (rtl::Halt), morphs
// first; both stay empty.
extern TKeshMorphFuncLib* GlobalFunctionsLibrary;
extern TKeshMorphLib* GlobalMorphsLibrary;
