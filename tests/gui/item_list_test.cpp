#include <gtest/gtest.h>

#include <string>

#include "modules/gui/item_list.h"
#include "tests/support/module_harness.h"

namespace {

using List = zv::gui::ItemList<char16_t>;
constexpr int32_t kMax = 2147483647;
constexpr int32_t kMin = -kMax - 1;

std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

TEST(ItemList, LooksUpValues) {
  struct Case {
    const char16_t* list;
    int32_t value;
    const char* text;  // null: no item has the value
  } cases[] = {
      {u"a,b=5,c", 0, "a"},
      {u"a,b=5,c", 5, "b"},
      {u"a,b=5,c", 6, "c"},
      {u"a,b=5,c", 1, nullptr},
      {u" x = 2 ,\ty\t", 2, "x"},
      {u" x = 2 ,\ty\t", 3, "y"},
      {u"a=5,b=5", 5, "a"},
      {u"a=,b", 0, "a"},
      {u"a=,b", 1, "b"},
      {u"All=-1,1,2", -1, "All"},
      {u"All=-1,1,2", 0, "1"},
      {u"All=-1,1,2", 1, "2"},
      {u"a=99999999999", kMax, "a"},
      {u"a=-99999999999", kMin, "a"},
      {u"a=2147483647,b,c=1,d", kMax, "a"},
      {u"a=2147483647,b,c=1,d", 2, "d"},
      {u"a,,b", 2, "b"},
      {u"", 0, nullptr},
      {u"range 3,6", 4, "4"},
      {u"range 3,6", 3, "3"},
      {u"range 3,6", 6, "6"},
      {u"range 3,6", 2, nullptr},
      {u"range 3,6", 7, nullptr},
      {u"range -5, -2", -3, "-3"},
      {u"range 0,2147483647", kMax, "2147483647"},
      {u"range -2147483648,2147483647", kMin, "-2147483648"},
      {u"range", 0, "0"},
      {u"range 3", 3, nullptr},
      {u"range 6,3", 4, nullptr},
      {u"range 1,99999999999", kMax, "2147483647"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.list) + " value " + std::to_string(c.value));
    const auto item = List(c.list).findValue(c.value);
    ASSERT_EQ(item.has_value(), c.text != nullptr);
    if (item) {
      EXPECT_EQ(narrow(item->text), c.text);
      EXPECT_EQ(item->value, c.value);
    }
  }
}

TEST(ItemList, CountsAndIndexesWithoutExpandingRanges) {
  struct Case {
    const char16_t* list;
    int64_t size;
    bool range;
  } cases[] = {
      {u"", 0, false},
      {u"a", 1, false},
      {u"a,b=5,c", 3, false},
      {u"a=2147483647,b,c", 1, false},
      {u"range 3,6", 4, true},
      {u"range", 1, true},
      {u"range 3", 0, true},
      {u"range 0,2147483647", int64_t{1} << 31, true},
      {u"range -2147483648,2147483647", int64_t{1} << 32, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(narrow(c.list));
    const List list(c.list);
    EXPECT_EQ(list.size(), c.size);
    EXPECT_EQ(list.isRange(), c.range);
    EXPECT_FALSE(list.at(c.size).has_value());
    EXPECT_FALSE(list.at(-1).has_value());
    if (c.size > 0) {
      // The last item is found again by its value.
      const auto last = list.at(c.size - 1);
      ASSERT_TRUE(last.has_value());
      ASSERT_TRUE(list.findValue(last->value).has_value());
    }
  }
  EXPECT_EQ(List(u"range -2147483648,2147483647").at(0)->value, kMin);
}

// The lists two modules offer when they start, read as list controls read them.
TEST(ItemList, ListsTheModulesOffer) {
  struct Case {
    const char* id;
    int32_t pin;
    int64_t size, index;
    const char* text;
    int32_t value;
  } cases[] = {
      {"SE Patch Info", 9, 17, 0, "All", -1},    {"SE Patch Info", 9, 17, 1, "1", 0},
      {"SE Patch Info", 9, 17, 16, "16", 15},    {"SE System Command", 2, 6, 0, "edit", 0},
      {"SE System Command", 2, 6, 3, "open", 3}, {"SE System Command", 2, 6, 5, "properties", 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " item " << c.index);
    TestHost host;
    GuiModule module(host, widenAscii(c.id));
    module.ui()->initializeGui();
    ASSERT_EQ(host.guiValuesOn(c.pin).size(), 1u);
    const zv::gui::ItemList<MpChar> list(host.guiValuesOn(c.pin)[0].asText());
    EXPECT_EQ(list.size(), c.size);
    const auto item = list.at(c.index);
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(toUtf8(item->text), c.text);
    EXPECT_EQ(item->value, c.value);
  }
}

}  // namespace
