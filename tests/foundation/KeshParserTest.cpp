#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/KeshParser.h"
#include "runtime/Errors.h"
#include "runtime/Streams.h"

namespace {

// A tree as text: name(attr=value,...)"text"{children}; empty parts are left out.
std::string Describe(const TKeshXMLTag& tag) {
  std::string s = tag.Name;
  if (!tag.Attributes.empty()) {
    s += "(";
    for (std::size_t i = 0; i < tag.Attributes.size(); ++i)
      s += (i ? "," : "") + tag.Attributes[i]->Name + "=" + tag.Attributes[i]->Value;
    s += ")";
  }
  if (!tag.Text.empty()) s += "\"" + tag.Text + "\"";
  if (!tag.Tags.empty()) {
    s += "{";
    for (std::size_t i = 0; i < tag.Tags.size(); ++i) {
      EXPECT_EQ(tag.Tags[i]->Parent, &tag);
      s += (i ? "," : "") + Describe(*tag.Tags[i]);
    }
    s += "}";
  }
  return s;
}

void Load(TKeshParser& parser, const std::string& document) {
  rtl::TMemoryStream stream;
  stream.WriteString(document);
  stream.SetPosition(0);
  parser.LoadFromStream(stream);
}

std::string Parse(const std::string& document) {
  TKeshParser parser;
  Load(parser, document);
  return Describe(parser);
}

TEST(KeshParser, DocumentsAndTheirTrees) {
  const struct {
    const char* document;
    const char* tree;
  } cases[] = {
      {"", "root"},
      {"<a>x</b>", "root{a\"x\"}"},
      {"<a>x</a>", "root{a\"x\"}"},
      {"<a>one<b/>two</a>", "root{a\"two\"{b}}"},
      {"lead<a/>tail", "root\"tail\"{a}"},
      {"<a x=\"1\" y=\"2\"/>", "root{a(x=1,y=2)}"},
      {"<a x=1/>", "root{a}"},
      {"<a x=\"1\" y/>", "root{a(x=1)}"},
      {"<a x=\"1\" y=\"2/>", "root{a(x=1)}"},
      {"<a x=\"&lt;&quot;\"/>", "root{a(x=<\")}"},
      {"<t>&amp;lt; &amp;quot;</t>", "root{t\"&lt; \"\"}"},
      {"<?xml version=\"1.0\" ?><r/>", "xml(version=1.0){r}"},
      {"<?xml version=\"1.0\"?>\r\n<r>\r\n  <s>in</s>\r\n</r>", "xml(version=1.0){r{s\"in\"}}"},
      {"<a><!-- note --></a>", "root{a}"},
      {"<a><!-- <b/> --><c/></a>", "root{a{c}}"},
      {"x < y", "root\"y\""},
      {"<a>\r\n  two\r\n  lines\t</a>", "root{a\"two   lines\"}"},
      {"<a\r\nx=\"1\"\r\n/>", "root{a(x=1)}"},
      {"<GameTitle>Quest &amp; more</GameTitle>", "root{GameTitle\"Quest & more\"}"},
      // Broken documents: an unterminated comment or declaration gives an empty tree.
      {"<a><!-- never closed</a>", "root"},
      {"<?xml version=\"1.0\" <a/>", "root"},
      {"3a\r\n<!-- never closed", "root"},
      // Surplus closing tags stay at the root; "<>" names nothing.
      {"</x></y><a/>", "root{a}"},
      {"<a></a></a><b/>", "root{a,b}"},
      {"<a><></a><b/>", "root{a,b}"},
      // A late declaration replaces the children and reading goes on at the root.
      {"<a><?xml v=\"1\"?><b/></a><c/>", "xml(v=1){b,c}"},
      {"<?" "?><a/>", "{a}"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.document), c.tree) << c.document;
}

TEST(KeshParser, FirstPassTypesTheLines) {
  TKeshParser parser;
  parser.Lines.SetText("<?xml v=\"1\"?>\r\n<a b=\"1\" >t\r\nu</a ><c /><!--x-->");
  ASSERT_TRUE(parser.MakeTypifiedLines(parser.Lines));
  EXPECT_EQ(parser.Lines.Lines(),
            (std::vector<std::string>{"4xml v=\"1\"", "3a b=\"1\"", "0t u", "1a ", "2c"}));

  parser.Lines.SetText("<a>\r\n<!-- open");
  EXPECT_FALSE(parser.MakeTypifiedLines(parser.Lines));
  EXPECT_EQ(parser.Lines.Lines(), (std::vector<std::string>{"<a>", "<!-- open"}));
}

TEST(KeshParser, SecondDocumentKeepsTheRootNameAndText) {
  TKeshParser parser;
  Load(parser, "<?xml v=\"1\"?><a/>");
  Load(parser, "<b/>");
  EXPECT_EQ(Describe(parser), "xml{b}");

  TKeshParser texts;
  Load(texts, "first<a/>");
  Load(texts, "<b/>");
  EXPECT_EQ(Describe(texts), "root\"first\"{b}");
}

TEST(KeshParser, StreamIsReadFromItsPosition) {
  TKeshParser parser;
  rtl::TMemoryStream stream;
  stream.WriteString("<skipped/><a/>");
  stream.SetPosition(10);
  parser.LoadFromStream(stream);
  EXPECT_EQ(Describe(parser), "root{a}");
}

TEST(KeshParser, FileLoadingAcceptsEveryLineEnd) {
  const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / "kesh_parser.xml";
  std::ofstream(path, std::ios::binary) << "<r>\r\n<t>one\rtwo\nthree</t>\n</r>";
  TKeshParser parser;
  parser.LoadFromFile(path.string());
  EXPECT_EQ(Describe(parser), "root{r{t\"one two three\"}}");
  std::filesystem::remove(path);

  EXPECT_THROW(parser.LoadFromFile(path.string()), rtl::EInOutError);
  EXPECT_EQ(Describe(parser), "root{r{t\"one two three\"}}");
}

TEST(KeshParser, NavigationIsCaseSensitive) {
  TKeshParser parser;
  Load(parser, "<Game><GameTitle>Quest</GameTitle><gametitle>low</gametitle></Game>");
  ASSERT_EQ(parser.Tags.size(), 1u);
  const TKeshXMLTag* game = parser.Tags[0].get();
  ASSERT_NE(game->FindTag("GameTitle"), nullptr);
  EXPECT_EQ(game->FindTag("GameTitle")->Text, "Quest");
  EXPECT_EQ(game->FindTag("gametitle")->Text, "low");
  EXPECT_EQ(game->FindTag("GAMETITLE"), nullptr);
  EXPECT_EQ(game->LastTag()->Name, "gametitle");

  Load(parser, "<v Mode=\"1\" mode=\"2\"/>");
  EXPECT_EQ(parser.Tags[0]->FindAttribute("mode")->Value, "2");
  EXPECT_EQ(parser.Tags[0]->FindAttribute("MODE"), nullptr);
}

TEST(KeshParser, AssignCopiesDeeplyEvenFromADescendant) {
  TKeshParser parser;
  Load(parser, "<a k=\"v\">t<b><c/></b></a>");
  TKeshXMLTag copy("x", "y", nullptr);
  copy.Assign(&parser);
  EXPECT_EQ(Describe(copy), "root{a(k=v)\"t\"{b{c}}}");
  copy.Assign(nullptr);
  EXPECT_EQ(Describe(copy), "root{a(k=v)\"t\"{b{c}}}");
  copy.Assign(copy.Tags[0]->Tags[0].get());
  EXPECT_EQ(Describe(copy), "b{c}");
  copy.Assign(&copy);
  EXPECT_EQ(Describe(copy), "b{c}");
}

TEST(KeshParser, DeepNestingNeitherOverflowsNorLeaks) {
  std::string document;
  for (int i = 0; i < 200000; ++i) document += "<d>";
  TKeshParser parser;
  Load(parser, document);
  const TKeshXMLTag* tag = &parser;
  int depth = 0;
  while (!tag->Tags.empty()) {
    tag = tag->Tags[0].get();
    ++depth;
  }
  EXPECT_EQ(depth, 200000);
  Load(parser, "<a/>");
  EXPECT_EQ(Describe(parser), "root{a}");
}

TEST(KeshParser, TextHelpers) {
  EXPECT_EQ(PosFrom("b", "abcb", 1), 2u);
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4u);
  EXPECT_EQ(PosFrom("b", "abcb", 5), 0u);
  EXPECT_EQ(PosFrom("", "abc", 1), 0u);
  EXPECT_EQ(PosFrom("a", "", 1), 0u);
  EXPECT_EQ(FlattenLineBreaks("a\r\nb\tc\r"), "a b c\r");
  const struct {
    const char* escaped;
    const char* plain;
  } cases[] = {
      {"&lt;&gt;&amp;&apos;&quot;", "<>&'\""},
      {"&amp;quot;&amp;apos;", "\"'"},
      {"&amp;lt;&amp;gt;&amp;amp;", "&lt;&gt;&amp;"},
      {"&#65;&nbsp;", "&#65;&nbsp;"},
  };
  for (const auto& c : cases) EXPECT_EQ(UnescapeXML(c.escaped), c.plain) << c.escaped;
}

}  // namespace
