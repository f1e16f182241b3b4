// A lenient reader for a small subset of XML: elements, attributes in double quotes, text,
// comments and one declaration. It reads in two passes: the text is cut into typed lines (one
// kind character, then the content), then a tree of tags is built from them. Closing tag names
// are never compared with the opened ones, other constructs are skipped, and every parse error
// stays inside the reader, so the caller always gets a tree, possibly partial. Only a file or
// stream that cannot be read reaches the caller (rtl::EInOutError). It never logs anything.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/StringList.h"

namespace rtl {
class TMemoryStream;
}

class TKeshParserAttribute {
public:
  TKeshParserAttribute(std::string name, std::string value)
      : Name(std::move(name)), Value(std::move(value)) {}

  std::string Name;
  std::string Value;  // already unescaped
};

// One element. Children and attributes are owned; Parent is not.
class TKeshXMLTag {
public:
  TKeshXMLTag(std::string name, std::string text, TKeshXMLTag* parent);
  virtual ~TKeshXMLTag();
  TKeshXMLTag(const TKeshXMLTag&) = delete;
  TKeshXMLTag& operator=(const TKeshXMLTag&) = delete;

  void SetName(std::string value) { Name = std::move(value); }
  void SetText(std::string value) { Text = std::move(value); }
  TKeshXMLTag* AddTag(std::string name, std::string text);
  TKeshParserAttribute* AddAttribute(std::string name, std::string value);
  void ClearTags() { Tags.clear(); }
  void ClearAttributes() { Attributes.clear(); }

  // Parses a tag text such as `item id="3" kind="a"` into a new last child. The child is
  // appended before parsing, so an attribute syntax error only cuts its attribute list short.
  void AddTagByString(std::string_view tagText);

  // Deep copy of Source's name, text, attributes and children (copied children get this tag as
  // their parent). A null Source changes nothing; Source may be this tag or one of its own
  // descendants.
  void Assign(const TKeshXMLTag* source);

  // First direct child / attribute whose name matches exactly (letter case counts), or null.
  TKeshXMLTag* FindTag(std::string_view name) const;
  TKeshParserAttribute* FindAttribute(std::string_view name) const;
  TKeshXMLTag* LastTag() const { return Tags.empty() ? nullptr : Tags.back().get(); }

  // First pass: replaces Lines (the loaded text) by the typed lines made from it. Returns false
  // when an unterminated comment or declaration stops the scan; Lines then keep the loaded text.
  bool MakeTypifiedLines(rtl::TStringList& lines);

  std::string Name;
  std::string Text;  // the last text run inside the element
  std::vector<std::unique_ptr<TKeshXMLTag>> Tags;
  std::vector<std::unique_ptr<TKeshParserAttribute>> Attributes;
  TKeshXMLTag* Parent;
};

// The root of a document, named "root" until a declaration renames it.
class TKeshParser : public TKeshXMLTag {
public:
  TKeshParser();

  void LoadFromFile(const std::string& fileName);   // Windows path text
  void LoadFromStream(rtl::TMemoryStream& stream);  // from the stream's current position

  // Second pass: rebuilds the children from the typed lines in Lines. The root keeps its Name
  // and Text unless the document changes them.
  void BuildTree();

  rtl::TStringList Lines;

private:
  void Parse();
};

// 1-based position of the first Sub in S that begins at or after Start; 0 when there is none or
// when either text is empty.
std::size_t PosFrom(std::string_view sub, std::string_view s, std::size_t start);
// Every CR LF pair and every TAB becomes one blank.
std::string FlattenLineBreaks(std::string_view s);
// The five named entities, undone one after another over the whole text (so "&amp;quot;" ends
// as a double quote); no numeric references.
std::string UnescapeXML(std::string_view s);
