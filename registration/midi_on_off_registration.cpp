#include "frame/factory.h"
#include "modules/control/midi_on_off.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("zv midi on off"), createModule<MidiOnOff>);
}
