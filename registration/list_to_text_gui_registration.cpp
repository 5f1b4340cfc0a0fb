#include "frame/factory.h"
#include "modules/gui/list_to_text_gui.h"

namespace {
[[maybe_unused]] const int32_t registered = registerGuiCreator(MP_TEXT("SE ListToText"), createModule<ListToTextGui>);
}
