#include "frame/factory.h"
#include "modules/control/midi_all_off.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("zv midi all off"), createModule<MidiAllOff>);
}
