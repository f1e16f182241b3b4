#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/KeshStaticCollection.h"
#include "runtime/Strings.h"

namespace {

// An item whose copies can be told to fail, and whose Initialize result is chosen.
class TTestItem : public TKeshBaseObject {
public:
  TTestItem() : TKeshBaseObject("TTestItem") {}
  std::unique_ptr<TKeshBaseObject> Create() const override { return std::make_unique<TTestItem>(); }
  bool Assign(const TKeshBaseObject* source) override {
    const auto* item = dynamic_cast<const TTestItem*>(source);
    if (item == nullptr || item->refuseCopy || !TKeshBaseObject::Assign(source)) return false;
    initializes = item->initializes;
    return true;
  }
  bool Initialize() override {
    ++initializeCalls;
    return initializes;
  }
  bool refuseCopy = false;
  bool initializes = true;
  int initializeCalls = 0;
};

std::unique_ptr<TTestItem> Item(const std::string& name, bool initializes = true) {
  auto item = std::make_unique<TTestItem>();
  item->SetName(name);
  item->initializes = initializes;
  return item;
}

TEST(KeshBaseObject, DefaultNamesComeFromTheClassName) {
  EXPECT_EQ(TKeshBaseObject().Name(), "KeshBaseObject_Default");
  EXPECT_EQ(TKeshStaticCollection().Name(), "KeshStaticCollection_Default");
  EXPECT_EQ(TKeshMorphFuncLib().Name(), "KeshMorphFuncLib_Default");
  TKeshMorphLib lib;
  EXPECT_EQ(lib.Name(), "KeshMorphLib_Default");
  EXPECT_STREQ(lib.ClassName(), "TKeshMorphLib");
  lib.SetName("Morphs");
  EXPECT_EQ(lib.Name(), "Morphs");
}

TEST(KeshBaseObject, NamesAreCutTo32AndAssignNeedsASource) {
  TKeshBaseObject object;
  object.SetName(std::string(40, 'n'));
  EXPECT_EQ(object.Name(), std::string(32, 'n'));
  EXPECT_FALSE(object.Assign(nullptr));
  EXPECT_EQ(object.Name(), std::string(32, 'n'));
  TKeshBaseObject other;
  other.SetName("other");
  EXPECT_TRUE(object.Assign(&other));
  EXPECT_EQ(object.Name(), "other");
  EXPECT_TRUE(object.Initialize());
}

TEST(KeshStaticCollection, AddGetItemAndForEach) {
  TKeshStaticCollection collection;
  EXPECT_EQ(collection.Add(Item("one")), 0);
  EXPECT_EQ(collection.Add(nullptr), 1);
  EXPECT_EQ(collection.Add(Item("three")), 2);
  EXPECT_EQ(collection.Count(), 3);
  EXPECT_EQ(collection.GetItem(0)->Name(), "one");
  EXPECT_EQ(collection.GetItem(1), nullptr);
  EXPECT_EQ(collection.GetItem(-1), nullptr);
  EXPECT_EQ(collection.GetItem(3), nullptr);

  std::vector<std::string> visited;
  collection.ForEach([&](TKeshBaseObject& item) {
    visited.push_back(item.Name());
    return true;
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"one", "three"}));
  visited.clear();
  collection.ForEach([&](TKeshBaseObject& item) {
    visited.push_back(item.Name());
    return false;
  });
  EXPECT_EQ(visited, (std::vector<std::string>{"one"}));
  collection.Clear();
  EXPECT_EQ(collection.Count(), 0);
}

TEST(KeshStaticCollection, AssignCopiesEachItemInItsOwnClass) {
  TKeshStaticCollection source;
  source.SetName("source");
  source.Add(Item("a", false));
  source.Add(nullptr);
  source.Add(std::make_unique<TKeshMorphLib>());

  TKeshMorphLib copy;
  copy.Add(Item("old"));
  ASSERT_TRUE(copy.Assign(&source));
  EXPECT_EQ(copy.Name(), "source");
  ASSERT_EQ(copy.Count(), 3);
  auto* first = dynamic_cast<TTestItem*>(copy.GetItem(0));
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first, source.GetItem(0));
  EXPECT_EQ(first->Name(), "a");
  EXPECT_FALSE(first->initializes);
  EXPECT_EQ(copy.GetItem(1), nullptr);
  EXPECT_NE(dynamic_cast<TKeshMorphLib*>(copy.GetItem(2)), nullptr);

  // Assigning from itself keeps every item.
  ASSERT_TRUE(copy.Assign(&copy));
  EXPECT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.GetItem(0)->Name(), "a");
}

TEST(KeshStaticCollection, AssignFailures) {
  TKeshStaticCollection collection;
  collection.Add(Item("kept"));
  EXPECT_FALSE(collection.Assign(nullptr));
  EXPECT_EQ(collection.Count(), 1);

  TKeshBaseObject plain;
  plain.SetName("plain");
  EXPECT_FALSE(collection.Assign(&plain));
  EXPECT_EQ(collection.Count(), 1);

  TKeshStaticCollection source;
  source.Add(Item("fine"));
  auto refusing = Item("refusing");
  refusing->refuseCopy = true;
  source.Add(std::move(refusing));
  EXPECT_FALSE(collection.Assign(&source));
  EXPECT_EQ(collection.Count(), 0);
}

TEST(KeshStaticCollection, InitializeStopsAtTheFirstFailure) {
  TKeshStaticCollection empty;
  EXPECT_TRUE(empty.Initialize());

  TKeshStaticCollection collection;
  collection.Add(Item("a"));
  collection.Add(nullptr);
  collection.Add(Item("b", false));
  collection.Add(Item("c"));
  EXPECT_FALSE(collection.Initialize());
  EXPECT_EQ(static_cast<TTestItem*>(collection.GetItem(0))->initializeCalls, 1);
  EXPECT_EQ(static_cast<TTestItem*>(collection.GetItem(2))->initializeCalls, 1);
  EXPECT_EQ(static_cast<TTestItem*>(collection.GetItem(3))->initializeCalls, 0);

  TKeshStaticCollection fine;
  fine.Add(Item("a"));
  EXPECT_TRUE(fine.Initialize());
}

TEST(KeshStaticCollection, GlobalLibrariesExistEmptyUnderTheirNames) {
  ASSERT_NE(GlobalFunctionsLibrary, nullptr);
  ASSERT_NE(GlobalMorphsLibrary, nullptr);
  EXPECT_EQ(GlobalFunctionsLibrary->Name(), "GlobalFunctionsLibrary");
  EXPECT_EQ(GlobalMorphsLibrary->Name(), "GlobalMorphsLibrary");
  EXPECT_EQ(GlobalFunctionsLibrary->Count(), 0);
  EXPECT_EQ(GlobalMorphsLibrary->Count(), 0);
}

// Finds or builds a locale whose decimal separator is a comma; empty when none can be had.
std::string CommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
    if (std::setlocale(LC_NUMERIC, name) != nullptr) return name;
  const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "quorrel-locales";
  std::filesystem::create_directories(dir);
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (!std::filesystem::exists(dir / "de_DE.UTF-8") && std::system(command.c_str()) != 0) return "";
  setenv("LOCPATH", dir.c_str(), 1);
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) return "de_DE.UTF-8";
  return "";
}

TEST(DecimalSeparator, NumbersUseAPointUnderACommaLocale) {
  const std::string locale = CommaLocale();
  if (locale.empty() || *std::localeconv()->decimal_point != ',') {
    std::setlocale(LC_NUMERIC, "C");
    GTEST_SKIP() << "no locale with a decimal comma is installed or can be generated";
  }
  EXPECT_EQ(rtl::FloatToStr(1.5), "1.5");
  EXPECT_EQ(rtl::StrToFloat("1.5"), 1.5);
  std::setlocale(LC_NUMERIC, "C");
}

}  // namespace
