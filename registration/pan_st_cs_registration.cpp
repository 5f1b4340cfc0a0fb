#include "frame/factory.h"
#include "modules/routing/pan_st_cs.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV PanST CS"), createModule<PanStCS>);
}
