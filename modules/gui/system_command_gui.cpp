#include "modules/gui/system_command_gui.h"

#include "frame/platform/shell.h"
#include "modules/gui/resolved_path.h"

namespace {

const MpChar* const kVerbs[SystemCommandGui::VERB_COUNT] = {
    MP_TEXT("edit"), MP_TEXT("explore"), MP_TEXT("find"), MP_TEXT("open"), MP_TEXT("print"), MP_TEXT("properties"),
};

}  // namespace

bool systemCommandAllowed(int32_t verb, const MpString& fullPath) {
  if (verb < 0 || verb >= SystemCommandGui::VERB_COUNT) return false;
  if (!mpIsLocalFileOrFolder(fullPath)) return false;
  return !mpVerbOpens(kVerbs[verb]) || !mpIsProgram(fullPath);
}

SystemCommandGui::SystemCommandGui(IMpUnknown* host) : MpGuiBase(host) {
  trigger_.initialize(this, TRIGGER, &SystemCommandGui::onTrigger);
  command_.initialize(this, COMMAND);
  commandList_.initialize(this, COMMAND_LIST);
  file_.initialize(this, FILE);
}

int32_t MP_STDCALL SystemCommandGui::initializeGui() {
  // An item list: a list control shows the verbs as the values 0 ... 5.
  commandList_ = MpString(MP_TEXT("edit,explore,find,open,print,properties"));
  return MP_OK;
}

void SystemCommandGui::onTrigger() {
  if (!trigger_.getValue() && wasTriggered_) carryOut();
  wasTriggered_ = trigger_.getValue();
}

void SystemCommandGui::carryOut() {
  const MpString path = zv::gui::resolvedPath(guiHost(), file_.getValue());
  const int32_t verb = command_.getValue();
  if (path.empty() || !systemCommandAllowed(verb, path)) return;
  mpShellExecute(kVerbs[verb], path);
}
