#include "frame/factory.h"
#include "modules/gui/system_command_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE System Command"), createModule<SystemCommandGui>);
}
