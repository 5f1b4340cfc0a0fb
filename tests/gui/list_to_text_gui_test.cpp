#include <gtest/gtest.h>

#include "modules/gui/list_to_text_gui.h"
#include "tests/support/module_harness.h"

namespace {

TEST(ListToTextGui, TextOfTheChosenItem) {
  struct Step {
    const char* list;  // null: unchanged
    int32_t choice;
    const char* text;  // the text after the step, null while none was sent
  } steps[] = {
      {"a,b=5,c", 6, "c"},
      {nullptr, 0, "a"},
      {nullptr, 1, "a"},  // no item has 1
      {"range 3,6", 4, "4"},
      {"range", 4, "4"},
      {"range 3", 3, "4"},
      {"range 0,2147483647", 2147483647, "2147483647"},
      {"range -2147483648,-2147483648", -2147483647 - 1, "-2147483648"},
  };
  TestHost host;
  GuiModule lister(host, MP_TEXT("SE ListToText"));
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << (s.list ? s.list : "") << " choice " << s.choice);
    if (s.list != nullptr) lister.set(ListToTextGui::ITEM_LIST, widenAscii(s.list));
    lister.set(ListToTextGui::CHOICE, s.choice);
    ASSERT_FALSE(host.guiValuesOn(ListToTextGui::ITEM_TEXT).empty());
    EXPECT_EQ(toUtf8(host.guiValuesOn(ListToTextGui::ITEM_TEXT).back().asText()), s.text);
  }
}

}  // namespace
