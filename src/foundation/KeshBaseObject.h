// A named object with a virtual constructor, the base of the cloning collections of
// KeshStaticCollection.h. Names are short strings of at most 32 bytes; a new object is named
// after its class without the leading "T", then "_Default".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TKeshBaseObject {
public:
  static constexpr std::size_t MaxNameLength = 32;

  TKeshBaseObject() : TKeshBaseObject("TKeshBaseObject") {}
  virtual ~TKeshBaseObject() = default;
  TKeshBaseObject(const TKeshBaseObject&) = delete;
  TKeshBaseObject& operator=(const TKeshBaseObject&) = delete;

  virtual void SetName(std::string_view value);
  // The virtual constructor: a new default object of this object's own class.
  virtual std::unique_ptr<TKeshBaseObject> Create() const;
  // False without a Source; otherwise takes Source's name.
  virtual bool Assign(const TKeshBaseObject* source);
  virtual bool Initialize() { return true; }

  const std::string& Name() const { return name_; }
  const char* ClassName() const { return className_; }

protected:
  // Derived classes pass their own class name, which also gives the default name.
  explicit TKeshBaseObject(const char* className);

private:
  const char* className_;
  std::string name_;
};

// The trace writer of these units. Tracing is off and there is no trace file, so it writes
// nothing; it stays so that failures have one place to go.
void TraceMessage(int32_t code, std::string_view text, bool newLine, bool timeStamp);
