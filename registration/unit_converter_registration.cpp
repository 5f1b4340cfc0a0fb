#include "frame/factory.h"
#include "modules/conversion/unit_converter.h"

namespace {
[[maybe_unused]] const int32_t registered =
    registerDspCreator(MP_TEXT("SE Unit Converter"), createModule<UnitConverter>);
}
