#include "frame/factory.h"
#include "modules/gui/command_trigger_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE Command Trigger"), createModule<CommandTriggerGui>);
}
