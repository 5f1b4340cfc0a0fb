// The converters' description text comes first, then the audio converters,
// then the GUI converters, each in the library's registration order.
#include "frame/factory.h"
#include "modules/conversion/simple_converter.h"

extern const char zvBuiltinDescription_converters[];

namespace {
using Text = MpString;
using Blob = MpBlob;

[[maybe_unused]] const int32_t registered[] = {
    registerXmlDescription(zvBuiltinDescription_converters),
    registerDspCreator(MP_TEXT("SE IntToBool"), createModule<SimpleConverter<int32_t, bool>>),
    registerDspCreator(MP_TEXT("SE IntToFloat"), createModule<SimpleConverter<int32_t, float>>),
    registerDspCreator(MP_TEXT("SE IntToText"), createModule<SimpleConverter<int32_t, Text>>),
    registerDspCreator(MP_TEXT("SE FloatToInt"), createModule<SimpleConverter<float, int32_t>>),
    registerDspCreator(MP_TEXT("SE FloatToBool"), createModule<SimpleConverter<float, bool>>),
    registerDspCreator(MP_TEXT("SE FloatToText"), createModule<SimpleConverter<float, Text>>),
    registerDspCreator(MP_TEXT("SE BoolToInt"), createModule<SimpleConverter<bool, int32_t>>),
    registerDspCreator(MP_TEXT("SE BoolToFloat"), createModule<SimpleConverter<bool, float>>),
    registerDspCreator(MP_TEXT("SE BoolToText"), createModule<SimpleConverter<bool, Text>>),
    registerDspCreator(MP_TEXT("SE TextToInt"), createModule<SimpleConverter<Text, int32_t>>),
    registerDspCreator(MP_TEXT("SE TextToFloat"), createModule<SimpleConverter<Text, float>>),
    registerDspCreator(MP_TEXT("SE TextToBool"), createModule<SimpleConverter<Text, bool>>),
    // A list choice is an int on a pin of its own type.
    registerDspCreator(MP_TEXT("SE ListToInt"), createModule<SimpleConverter<int32_t, int32_t, MP_DT_ENUM>>),
    registerGuiCreator(MP_TEXT("SE IntToBool GUI"), createModule<SimpleGuiConverter<int32_t, bool>>),
    registerGuiCreator(MP_TEXT("SE IntToFloat GUI"), createModule<SimpleGuiConverter<int32_t, float>>),
    registerGuiCreator(MP_TEXT("SE IntToText GUI"), createModule<SimpleGuiConverter<int32_t, Text>>),
    registerGuiCreator(MP_TEXT("SE FloatToInt GUI"), createModule<SimpleGuiConverter<float, int32_t>>),
    registerGuiCreator(MP_TEXT("SE FloatToBool GUI"), createModule<SimpleGuiConverter<float, bool>>),
    registerGuiCreator(MP_TEXT("SE BoolToInt GUI"), createModule<SimpleGuiConverter<bool, int32_t>>),
    registerGuiCreator(MP_TEXT("SE BoolToFloat GUI"), createModule<SimpleGuiConverter<bool, float>>),
    registerGuiCreator(MP_TEXT("SE BoolToText GUI"), createModule<SimpleGuiConverter<bool, Text>>),
    registerGuiCreator(MP_TEXT("SE TextToInt GUI"), createModule<SimpleGuiConverter<Text, int32_t>>),
    registerGuiCreator(MP_TEXT("SE TextToFloat GUI"), createModule<SimpleGuiConverter<Text, float>>),
    registerGuiCreator(MP_TEXT("SE TextToBool GUI"), createModule<SimpleGuiConverter<Text, bool>>),
    registerGuiCreator(MP_TEXT("SE TextToBlob GUI"), createModule<SimpleGuiConverter<Text, Blob>>),
    registerGuiCreator(MP_TEXT("SE BlobToText GUI"), createModule<SimpleGuiConverter<Blob, Text>>),
};
}  // namespace
