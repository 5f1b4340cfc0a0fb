#include "frame/factory.h"
#include "modules/control/unison_fix.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("SE Unison Fix"), createModule<UnisonFix>);
}
