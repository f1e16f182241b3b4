// The tag tree reader on arbitrary text, as the title file reader feeds it: a tree always comes
// back, and a deep copy of it (Assign) has the same shape, names, texts and attributes. Inputs
// whose size is a multiple of four also copy a descendant over the root, which Assign allows.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "foundation/KeshParser.h"
#include "fuzz_support.h"
#include "runtime/Streams.h"

namespace {

// Walks both trees side by side without recursion: the reader builds arbitrarily deep trees.
bool SameTree(const TKeshXMLTag& a, const TKeshXMLTag& b) {
  std::vector<std::pair<const TKeshXMLTag*, const TKeshXMLTag*>> work{{&a, &b}};
  while (!work.empty()) {
    auto [x, y] = work.back();
    work.pop_back();
    if (x->Name != y->Name || x->Text != y->Text) return false;
    if (x->Attributes.size() != y->Attributes.size() || x->Tags.size() != y->Tags.size()) return false;
    for (std::size_t i = 0; i < x->Attributes.size(); ++i) {
      if (x->Attributes[i]->Name != y->Attributes[i]->Name ||
          x->Attributes[i]->Value != y->Attributes[i]->Value)
        return false;
    }
    for (std::size_t i = 0; i < x->Tags.size(); ++i) {
      if (x->Tags[i]->Parent != x || y->Tags[i]->Parent != y) return false;
      work.emplace_back(x->Tags[i].get(), y->Tags[i].get());
    }
  }
  return true;
}

// The end of the path that always takes the last child.
const TKeshXMLTag* DeepestLast(const TKeshXMLTag& root) {
  const TKeshXMLTag* tag = &root;
  while (const TKeshXMLTag* last = tag->LastTag()) tag = last;
  return tag;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (fuzz::SilenceLog(), true);
  (void)ready;

  rtl::TMemoryStream stream;
  stream.Write(data, size);
  stream.SetPosition(0);
  TKeshParser parser;
  parser.LoadFromStream(stream);

  // The lookups the title reader makes.
  if (!parser.Tags.empty()) {
    const TKeshXMLTag& first = *parser.Tags.front();
    (void)first.FindTag("GameTitle");
    if (!first.Attributes.empty()) FUZZ_CHECK(first.FindAttribute(first.Attributes.front()->Name) != nullptr);
  }

  TKeshXMLTag copy("", "", nullptr);
  copy.Assign(&parser);
  FUZZ_CHECK(SameTree(parser, copy));

  if (size % 4 == 0) {
    const TKeshXMLTag* deepest = DeepestLast(parser);
    TKeshXMLTag expected("", "", nullptr);
    expected.Assign(deepest);
    parser.Assign(deepest);
    FUZZ_CHECK(SameTree(parser, expected));
  }
  return 0;
}
