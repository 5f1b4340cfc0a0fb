#include "frame/factory.h"
#include "modules/effects/fx_svf.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV-SVF-02"), createModule<FxSvf>);
}
