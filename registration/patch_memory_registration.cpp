#include "frame/factory.h"
#include "modules/patchmemory/patch_memory.h"

extern const char zvBuiltinDescription_se_patchmemory_bool_out[];
extern const char zvBuiltinDescription_se_patchmemory_float_out[];
extern const char zvBuiltinDescription_se_patchmemory_float[];
extern const char zvBuiltinDescription_se_patchmemory_text2[];

namespace {

// The family's registrations in the library's order.
int32_t registerPatchMemory() {
  registerDspCreator(MP_TEXT("SE PatchMemory Blob"), createModule<PatchMemoryBlob>);
  registerDspCreator(MP_TEXT("SE PatchMemory Blob Out"), createModule<PatchMemoryBlob>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Blob"), createModule<PatchMemoryBlobGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Blob Out"), createModule<PatchMemoryBlobOutGui>);
  registerDspCreator(MP_TEXT("SE PatchMemory Bool"), createModule<PatchMemoryBool>);
  registerDspCreator(MP_TEXT("SE PatchMemory Bool Out"), createModule<PatchMemoryBool>);
  registerXmlDescription(zvBuiltinDescription_se_patchmemory_bool_out);
  registerGuiCreator(MP_TEXT("SE PatchMemory Bool"), createModule<PatchMemoryBoolGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Bool Out"), createModule<PatchMemoryBoolOutGui>);
  registerDspCreator(MP_TEXT("SE PatchMemory Float"), createModule<PatchMemoryFloat>);
  registerDspCreator(MP_TEXT("SE PatchMemory Float Out"), createModule<PatchMemoryFloat>);
  registerDspCreator(MP_TEXT("SE PatchMemory Float Out B2"), createModule<PatchMemoryFloat>);
  registerXmlDescription(zvBuiltinDescription_se_patchmemory_float_out);
  registerXmlDescription(zvBuiltinDescription_se_patchmemory_float);
  registerGuiCreator(MP_TEXT("SE PatchMemory Float"), createModule<PatchMemoryFloatGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Float Out"), createModule<PatchMemoryFloatOutGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Float Out B2"), createModule<PatchMemoryFloatOutGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory"), createModule<PatchmemoryGui>);
  registerDspCreator(MP_TEXT("SE PatchMemory Int"), createModule<PatchMemoryInt>);
  registerDspCreator(MP_TEXT("SE PatchMemory Int Out"), createModule<PatchMemoryInt>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Int"), createModule<PatchMemoryIntGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Int Out"), createModule<PatchMemoryIntOutGui>);
  registerDspCreator(MP_TEXT("SE PatchMemory List3"), createModule<PatchMemoryList>);
  registerGuiCreator(MP_TEXT("SE PatchMemory List3"), createModule<PatchMemoryListGui>);
  registerDspCreator(MP_TEXT("SE PatchMemory Text2"), createModule<PatchMemoryText>);
  registerDspCreator(MP_TEXT("SE PatchMemory Text Out"), createModule<PatchMemoryText>);
  registerXmlDescription(zvBuiltinDescription_se_patchmemory_text2);
  registerGuiCreator(MP_TEXT("SE PatchMemory Text2"), createModule<PatchMemoryTextGui>);
  registerGuiCreator(MP_TEXT("SE PatchMemory Text Out"), createModule<PatchMemoryTextOutGui>);
  return 0;
}

[[maybe_unused]] const int32_t registered = registerPatchMemory();

}  // namespace
