// Published operations: the operations a class offers to the scripts, kept as one constant table
// of {name, &Class::Op} per class in declaration order. An operation follows the script
// convention (LuaArgs.h): it takes the Lua state of the calling thread and returns the number of
// results it pushed. An entry whose operation is nullptr is published for the host to call
// directly (its signature is not the script convention): it can be found and registered, but a
// script calling it gets no values.
//
// Lookup by name searches the class's own table, then its ancestors' tables, comparing names with
// ASCII letter case ignored, and yields the first match. Enumeration walks one class's own table
// only. A class publishes by deriving (without virtual inheritance) from TPublishedObject, and by
// overriding PublishedClass() to return a TPublishedTable<Class> whose parent is the published
// class of its base:
//
//   // main.h
//   class TMainForm : public TPublishedObject {
//   public:
//     int DrawPicture(lua_State* L);
//     static const TPublishedTable<TMainForm> Published;
//     const TPublishedClass& PublishedClass() const override { return Published; }
//   };
//   // main_published.cpp
//   static constexpr TPublishedOperation<TMainForm> MainFormOperations[] = {
//     // drawing
//     {"DrawPicture", &TMainForm::DrawPicture},
//   };
//   constinit const TPublishedTable<TMainForm> TMainForm::Published{"TMainForm", MainFormOperations,
//       &TPublishedObject::Published};
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

struct lua_State;

class TPublishedObject;

// One class's table, seen without its class type; the chain of Parent links is its ancestry.
class TPublishedClass {
public:
  constexpr TPublishedClass(const char* className, const TPublishedClass* parent)
      : ClassName(className), Parent(parent) {}

  const char* const ClassName;
  const TPublishedClass* const Parent;  // nullptr for the root

  virtual std::size_t Count() const = 0;
  virtual const char* NameAt(std::size_t index) const = 0;
  virtual bool HasOperationAt(std::size_t index) const = 0;
  // Target must be an object of this class or of a class derived from it.
  virtual int CallAt(std::size_t index, TPublishedObject& target, lua_State* L) const = 0;

protected:
  ~TPublishedClass() = default;
};

// A published operation bound to the class whose table holds it. Empty when the name was not
// found or the entry has no script-convention operation.
struct TPublishedMethod {
  const TPublishedClass* Class = nullptr;
  std::size_t Index = 0;

  explicit operator bool() const { return Class != nullptr && Class->HasOperationAt(Index); }
  int Call(TPublishedObject& target, lua_State* L) const { return Class->CallAt(Index, target, L); }
};

// Own table first, then the ancestors'; names compared ASCII case-insensitively; first match.
// Class is nullptr when no table of the chain has the name.
TPublishedMethod FindPublishedMethod(const TPublishedClass& cls, std::string_view name);

template <class T>
struct TPublishedOperation {
  const char* Name;
  int (T::*Operation)(lua_State* L);  // nullptr: published for the host only
};

template <class T>
class TPublishedTable final : public TPublishedClass {
public:
  constexpr TPublishedTable(const char* className, std::span<const TPublishedOperation<T>> operations,
                            const TPublishedClass* parent)
      : TPublishedClass(className, parent), Operations(operations) {}

  const std::span<const TPublishedOperation<T>> Operations;

  std::size_t Count() const override { return Operations.size(); }
  const char* NameAt(std::size_t index) const override { return Operations[index].Name; }
  bool HasOperationAt(std::size_t index) const override { return Operations[index].Operation != nullptr; }
  int CallAt(std::size_t index, TPublishedObject& target, lua_State* L) const override {
    return (static_cast<T&>(target).*(Operations[index].Operation))(L);
  }
};

// The root of every class that offers operations to the scripts; it publishes nothing.
class TPublishedObject {
public:
  virtual ~TPublishedObject() = default;

  static const TPublishedTable<TPublishedObject> Published;
  virtual const TPublishedClass& PublishedClass() const { return Published; }
};
