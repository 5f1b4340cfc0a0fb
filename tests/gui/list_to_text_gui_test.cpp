#include <gtest/gtest.h>

#include "modules/gui/list_to_text_gui.h"
#include "tests/support/module_harness.h"

namespace {

// Each step sets one pin, so that both handlers are seen to look up.
TEST(ListToTextGui, TextOfTheChosenItem) {
  struct Step {
    const char* list;  // set when not null, Choice staying as it is; otherwise Choice is set
    int32_t choice;
    const char* text;  // Item Text after the step
  } steps[] = {
      {"a,b=5,c", 0, "a"},
      {nullptr, 6, "c"},
      {nullptr, 1, "c"},  // no item has 1
      {"x,y", 1, "y"},
      {"range 3,6", 1, "y"},  // 1 lies outside the range
      {nullptr, 4, "4"},
      {"range -2147483648,2147483647", 4, "4"},
      {nullptr, -2147483647 - 1, "-2147483648"},
  };
  TestHost host;
  GuiModule lister(host, MP_TEXT("SE ListToText"));
  for (const Step& s : steps) {
    SCOPED_TRACE(testing::Message() << (s.list ? s.list : "") << " choice " << s.choice);
    if (s.list != nullptr) {
      lister.set(ListToTextGui::ITEM_LIST, widenAscii(s.list));
    } else {
      lister.set(ListToTextGui::CHOICE, s.choice);
    }
    ASSERT_FALSE(host.guiValuesOn(ListToTextGui::ITEM_TEXT).empty());
    EXPECT_EQ(toUtf8(host.guiValuesOn(ListToTextGui::ITEM_TEXT).back().asText()), s.text);
  }
}

}  // namespace
