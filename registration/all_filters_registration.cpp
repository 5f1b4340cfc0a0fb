#include "frame/factory.h"
#include "modules/effects/all_filters.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV-LPF over"), createModule<AllFilters>);
}
