// The two passes of the tag tree reader. Parse errors are exceptions thrown and caught inside
// this file; only the runtime's file errors leave it. The tree is freed and copied without
// recursion, so a deeply nested document cannot exhaust the stack.
#include "foundation/KeshParser.h"

#include <stdexcept>
#include <utility>

#include "runtime/Streams.h"
#include "runtime/Strings.h"

namespace {

class EKeshXMLError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

std::string ReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  std::string result;
  result.reserve(s.size());
  std::size_t start = 0;
  for (std::size_t at = s.find(from); at != std::string_view::npos; at = s.find(from, start)) {
    result.append(s.substr(start, at - start)).append(to);
    start = at + from.size();
  }
  result.append(s.substr(start));
  return result;
}

// The typed-line kinds of the first pass.
constexpr char KindText = '0';
constexpr char KindClose = '1';
constexpr char KindEmpty = '2';
constexpr char KindOpen = '3';
constexpr char KindDeclaration = '4';

void AddTextRun(rtl::TStringList& typed, std::string_view run) {
  std::string trimmed = rtl::Trim(run);
  if (!trimmed.empty()) typed.Add(KindText + UnescapeXML(FlattenLineBreaks(trimmed)));
}

}  // namespace

std::size_t PosFrom(std::string_view sub, std::string_view s, std::size_t start) {
  if (sub.empty() || s.empty()) return 0;
  std::size_t at = s.find(sub, start > 0 ? start - 1 : 0);
  return at == std::string_view::npos ? 0 : at + 1;
}

std::string FlattenLineBreaks(std::string_view s) {
  return ReplaceAll(ReplaceAll(s, "\r\n", " "), "\t", " ");
}

std::string UnescapeXML(std::string_view s) {
  std::string r = ReplaceAll(s, "&lt;", "<");
  r = ReplaceAll(r, "&gt;", ">");
  r = ReplaceAll(r, "&amp;", "&");
  r = ReplaceAll(r, "&apos;", "'");
  return ReplaceAll(r, "&quot;", "\"");
}

TKeshXMLTag::TKeshXMLTag(std::string name, std::string text, TKeshXMLTag* parent)
    : Name(std::move(name)), Text(std::move(text)), Parent(parent) {}

TKeshXMLTag::~TKeshXMLTag() {
  std::vector<std::unique_ptr<TKeshXMLTag>> pending = std::move(Tags);
  while (!pending.empty()) {
    std::unique_ptr<TKeshXMLTag> tag = std::move(pending.back());
    pending.pop_back();
    for (auto& child : tag->Tags) pending.push_back(std::move(child));
    tag->Tags.clear();
  }
}

TKeshXMLTag* TKeshXMLTag::AddTag(std::string name, std::string text) {
  Tags.push_back(std::make_unique<TKeshXMLTag>(std::move(name), std::move(text), this));
  return Tags.back().get();
}

TKeshParserAttribute* TKeshXMLTag::AddAttribute(std::string name, std::string value) {
  Attributes.push_back(std::make_unique<TKeshParserAttribute>(std::move(name), std::move(value)));
  return Attributes.back().get();
}

void TKeshXMLTag::AddTagByString(std::string_view s) {
  TKeshXMLTag* tag = AddTag("", "");
  try {
    std::size_t blank = s.find(' ');
    if (blank == std::string_view::npos) {
      tag->Name = std::string(s);
      return;
    }
    tag->Name = std::string(s.substr(0, blank));
    for (std::size_t a = blank; a < s.size();) {
      std::size_t equals = s.find('=', a);
      if (equals == std::string_view::npos)
        throw EKeshXMLError("[TKeshXMLTag.AddTagByString] Expected Attribute name but found "
                            "nothing! Tag name: \"" + tag->Name + "\".");
      std::string name = rtl::Trim(s.substr(a, equals - a));
      std::size_t open = s.find('"', equals);
      if (open == std::string_view::npos)
        throw EKeshXMLError("[TKeshXMLTag.AddTagByString] Expected open \" in Attribute value "
                            "but found nothing! Tag name: \"" + tag->Name +
                            "\", Attribute name: \"" + name + "\".");
      std::size_t close = s.find('"', open + 1);
      if (close == std::string_view::npos)
        throw EKeshXMLError("[TKeshXMLTag.AddTagByString] Expected closed \" in Attribute value "
                            "but found nothing! Tag name: \"" + tag->Name +
                            "\", Attribute name: \"" + name + "\".");
      tag->AddAttribute(std::move(name), UnescapeXML(s.substr(open + 1, close - open - 1)));
      a = close + 1;
    }
  } catch (const EKeshXMLError&) {
    // The tag keeps its name and the attributes read before the fault.
  }
}

void TKeshXMLTag::Assign(const TKeshXMLTag* source) {
  if (source == nullptr) return;
  // Copy everything first: Source may be one of the children about to be replaced.
  TKeshXMLTag copy(source->Name, source->Text, nullptr);
  std::vector<std::pair<const TKeshXMLTag*, TKeshXMLTag*>> work{{source, &copy}};
  while (!work.empty()) {
    auto [from, to] = work.back();
    work.pop_back();
    for (const auto& attribute : from->Attributes)
      to->AddAttribute(attribute->Name, attribute->Value);
    for (const auto& child : from->Tags)
      work.emplace_back(child.get(), to->AddTag(child->Name, child->Text));
  }
  std::vector<std::unique_ptr<TKeshXMLTag>> oldTags = std::move(Tags);
  Name = std::move(copy.Name);
  Text = std::move(copy.Text);
  Attributes = std::move(copy.Attributes);
  Tags = std::move(copy.Tags);
  for (auto& child : Tags) child->Parent = this;
}

TKeshXMLTag* TKeshXMLTag::FindTag(std::string_view name) const {
  for (const auto& tag : Tags)
    if (tag->Name == name) return tag.get();
  return nullptr;
}

TKeshParserAttribute* TKeshXMLTag::FindAttribute(std::string_view name) const {
  for (const auto& attribute : Attributes)
    if (attribute->Name == name) return attribute.get();
  return nullptr;
}

bool TKeshXMLTag::MakeTypifiedLines(rtl::TStringList& lines) {
  const std::string t = lines.Text();
  const std::string_view text = t;
  rtl::TStringList typed;
  try {
    std::size_t p = 0;
    while (p < text.size()) {
      std::size_t lt = text.find('<', p);
      if (lt == std::string_view::npos) {
        AddTextRun(typed, text.substr(p));
        break;
      }
      AddTextRun(typed, text.substr(p, lt - p));
      std::string_view rest = text.substr(lt);
      if (rest.starts_with("<!--")) {
        std::size_t end = text.find("-->", lt + 4);
        if (end == std::string_view::npos)
          throw EKeshXMLError("[TKeshXMLTag.MakeTypifiedLines] Comments started, but never ended!");
        p = end + 3;
      } else if (rest.starts_with("<?")) {
        std::size_t end = text.find("?>", lt + 2);
        if (end == std::string_view::npos)
          throw EKeshXMLError("[TKeshXMLTag.MakeTypifiedLines] XML Head started, but never ended!");
        typed.Add(KindDeclaration + FlattenLineBreaks(text.substr(lt + 2, end - lt - 2)));
        p = end + 2;
      } else {
        std::size_t gt = text.find('>', lt);
        if (gt == std::string_view::npos) {
          p = lt + 1;  // a lone "<" is dropped
          continue;
        }
        std::string_view tag = text.substr(lt + 1, gt - lt - 1);
        p = gt + 1;
        if (tag.empty()) continue;  // "<>" names nothing
        if (tag.front() == '/')
          typed.Add(KindClose + FlattenLineBreaks(tag.substr(1)));
        else if (tag.back() == '/')
          typed.Add(KindEmpty + FlattenLineBreaks(rtl::Trim(tag.substr(0, tag.size() - 1))));
        else
          typed.Add(KindOpen + FlattenLineBreaks(rtl::Trim(tag)));
      }
    }
  } catch (const EKeshXMLError&) {
    return false;
  }
  lines = std::move(typed);
  return true;
}

TKeshParser::TKeshParser() : TKeshXMLTag("root", "", nullptr) {}

void TKeshParser::LoadFromFile(const std::string& fileName) {
  Lines.LoadFromFile(fileName);
  Parse();
}

void TKeshParser::LoadFromStream(rtl::TMemoryStream& stream) {
  Lines.LoadFromStream(stream);
  Parse();
}

void TKeshParser::Parse() {
  if (MakeTypifiedLines(Lines)) {
    BuildTree();
  } else {
    // The loaded text is no list of typed lines; reading it as one could only build nonsense.
    ClearTags();
    ClearAttributes();
  }
}

void TKeshParser::BuildTree() {
  ClearTags();
  ClearAttributes();
  TKeshXMLTag* current = this;
  for (const std::string& line : Lines.Lines()) {
    if (line.empty()) continue;
    std::string_view content = std::string_view(line).substr(1);
    switch (line.front()) {
      case KindText:
        current->Text = std::string(content);
        break;
      case KindClose:
        // Surplus closing tags stay at the root instead of leaving the tree.
        if (current->Parent != nullptr) current = current->Parent;
        break;
      case KindEmpty:
        current->AddTagByString(content);
        break;
      case KindOpen:
        current->AddTagByString(content);
        current = current->LastTag();
        break;
      case KindDeclaration: {
        TKeshXMLTag scratch("", "", nullptr);
        scratch.AddTagByString(content);
        Assign(scratch.LastTag());
        // The declaration replaced every child, the current tag among them.
        current = this;
        break;
      }
      default:
        break;
    }
  }
}
