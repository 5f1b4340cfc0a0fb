#include "host/catalogue.h"

namespace zvhost {
namespace {

class NothingHost final : public IMpUnknown {
 public:
  int32_t MP_STDCALL queryInterface(const MpGuid*, void** out) override {
    if (out != nullptr) *out = nullptr;
    return MP_UNHANDLED;
  }
  int32_t MP_STDCALL addRef() override { return 1; }
  int32_t MP_STDCALL release() override { return 1; }
};

}  // namespace

const std::vector<std::string>& knownIdentifiers() {
  static const std::vector<std::string> ids = {
      "Osc ZVQR",
      "Osc ZVQR Sync",
      "INIT Osc ZVQR",
      "ZV-LPF over",
      "ZV-SVF-02",
      "ZV Delay v3",
      "ZV DIST CS",
      "ZV-RING ZVQR CS",
      "ZV51MODS ZV-ADSR D",
      "ZV PanST CS",
      "ZV MixM",
      "ZV MATRICE 12",
      "ZV BPM Clock3",
      "ZV BPM Tempo",
      "zv midi all off",
      "zv midi on off",
      "ZvPrgChange",
      "SE Unison Fix",
      "ZV51MODS VOICE ID",
      "SE Voice Mute",
      "SE VoiceWatcherBlocker",
      "ZV-MOD CS",
      "ZV51MODS: ZV SCOPE V3",
      "SE Command Trigger",
      "SE dBToAnimation",
      "SE Float Scaler2",
      "SE FloatToText GUI",
      "SE Image to Frame",
      "SE Image to Frame (old)",
      "SE Int to Bools",
      "SE Bools to Int",
      "SE ListToText",
      "SE Float Limiter",
      "ZV Full Path Memory-x16",
      "SE Patch Info",
      "SE Spring2",
      "SE Spring",
      "SE System Command",
      "SE IntToBool",
      "SE IntToFloat",
      "SE IntToText",
      "SE FloatToInt",
      "SE FloatToBool",
      "SE FloatToText",
      "SE BoolToInt",
      "SE BoolToFloat",
      "SE BoolToText",
      "SE TextToInt",
      "SE TextToFloat",
      "SE TextToBool",
      "SE ListToInt",
      "SE IntToBool GUI",
      "SE IntToFloat GUI",
      "SE IntToText GUI",
      "SE FloatToInt GUI",
      "SE FloatToBool GUI",
      "SE BoolToInt GUI",
      "SE BoolToFloat GUI",
      "SE BoolToText GUI",
      "SE TextToInt GUI",
      "SE TextToFloat GUI",
      "SE TextToBool GUI",
      "SE TextToBlob GUI",
      "SE BlobToText GUI",
      "SE Float Function DSP",
      "SE Float Function GUI",
      "SE Unit Converter",
      "SE PatchMemory Blob",
      "SE PatchMemory Blob Out",
      "SE PatchMemory Bool",
      "SE PatchMemory Bool Out",
      "SE PatchMemory Float",
      "SE PatchMemory Float Out",
      "SE PatchMemory Float Out B2",
      "SE PatchMemory",
      "SE PatchMemory Int",
      "SE PatchMemory Int Out",
      "SE PatchMemory List3",
      "SE PatchMemory Text2",
      "SE PatchMemory Text Out",
      "SampleLoader3Gui",
      "SampleOscillator3",
  };
  return ids;
}

bool factoryHasSide(IMpFactory* factory, const std::string& id, int32_t side) {
  NothingHost host;
  std::basic_string<MpChar> wide(id.begin(), id.end());
  void* created = nullptr;
  int32_t result = factory->createInstance(wide.c_str(), side, &host, &created);
  if (created != nullptr) static_cast<IMpUnknown*>(created)->release();
  return result != MP_UNHANDLED;
}

}  // namespace zvhost
