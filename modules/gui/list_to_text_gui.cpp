#include "modules/gui/list_to_text_gui.h"

#include "modules/gui/item_list.h"

ListToTextGui::ListToTextGui(IMpUnknown* host) : MpGuiBase(host) {
  choice_.initialize(this, CHOICE, &ListToTextGui::onChange);
  itemList_.initialize(this, ITEM_LIST, &ListToTextGui::onChange);
  itemText_.initialize(this, ITEM_TEXT);
}

void ListToTextGui::onChange() {
  // A value no item has leaves the text as it was.
  const zv::gui::ItemList<MpChar> list(itemList_.getValue());
  if (auto item = list.findValue(choice_.getValue())) itemText_ = item->text;
}
