#include "frame/factory.h"
#include "modules/conversion/float_formula.h"

namespace {
[[maybe_unused]] const int32_t registeredAudio =
    registerDspCreator(MP_TEXT("SE Float Function DSP"), createModule<FloatFormula>);
[[maybe_unused]] const int32_t registeredGui =
    registerGuiCreator(MP_TEXT("SE Float Function GUI"), createModule<FloatFormulaGui>);
}  // namespace
