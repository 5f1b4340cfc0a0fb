#include "frame/factory.h"
#include "modules/routing/mat_douze.h"

namespace {
[[maybe_unused]] const int32_t registered = registerDspCreator(MP_TEXT("ZV MATRICE 12"), createModule<MatDouze>);
}
