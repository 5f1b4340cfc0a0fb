// "SE ListToText": the text of the item whose value is Choice in an item
// list ("a,b=5,c" or "range 3,6").
#pragma once

#include "frame/gui_base.h"

class ListToTextGui : public MpGuiBase {
 public:
  enum Pin { CHOICE, ITEM_LIST, ITEM_TEXT };

  explicit ListToTextGui(IMpUnknown* host);

 private:
  void onChange();

  GuiIntPin choice_;
  GuiStringPin itemList_;
  GuiStringPin itemText_;
};
