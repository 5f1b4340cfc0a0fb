// "SE System Command": on releasing Trigger, carries out a shell verb
// (edit, explore, find, open, print, properties) on the file named by File.
//
// A patch may come from anyone, so only an existing local file or folder is
// acted on (never a URL or a network path), and a verb that opens the file
// ("open", and "edit" where editing is done by opening) never runs a
// program, script, shortcut or installer.
#pragma once

#include "frame/gui_base.h"

class SystemCommandGui : public MpGuiBase {
 public:
  enum Pin { TRIGGER, COMMAND, COMMAND_LIST, FILE };
  enum Verb { EDIT, EXPLORE, FIND, OPEN, PRINT, PROPERTIES, VERB_COUNT };

  explicit SystemCommandGui(IMpUnknown* host);
  int32_t MP_STDCALL initializeGui() override;

 private:
  void onTrigger();
  void carryOut();

  GuiBoolPin trigger_;
  GuiIntPin command_;
  GuiStringPin commandList_;
  GuiStringPin file_;
  bool wasTriggered_ = false;
};

// Whether a verb may be carried out on a full path.
bool systemCommandAllowed(int32_t verb, const MpString& fullPath);
