#include "frame/factory.h"
#include "modules/gui/db_to_animation_gui.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerGuiCreator(MP_TEXT("SE dBToAnimation"), createModule<DbToAnimationGui>);
}
