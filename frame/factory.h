// The library's one factory: a registry from module identifier to the
// functions that create its audio side and GUI side. Filled by static
// initialisers in registration/ while the library loads; read-only after.
#pragma once

#include <map>

#include "frame/interfaces.h"
#include "frame/wide_text.h"

// Creates a module object with reference count 0.
using MpCreatorFunction = IMpUnknown* (*)(IMpUnknown* host);

enum MpSide : int32_t { MP_SIDE_AUDIO = 0, MP_SIDE_GUI = 1 };

class MpFactory final : public IMpFactory {
 public:
  struct Entry {
    MpCreatorFunction audioCreator = nullptr;
    MpCreatorFunction guiCreator = nullptr;
  };

  int32_t MP_STDCALL queryInterface(const MpGuid* iid, void** returnInterface) override;
  int32_t MP_STDCALL addRef() override { return 16; }
  int32_t MP_STDCALL release() override { return 1; }
  int32_t MP_STDCALL createInstance(const MpChar* uniqueId, int32_t subType, IMpUnknown* host,
                                    void** returnInterface) override;
  int32_t MP_STDCALL getSdkInformation(int32_t* returnSdkVersion, int32_t maxChars,
                                       MpChar* returnCompilerInformation) override;

  void setCreator(const MpChar* id, MpSide side, MpCreatorFunction creator);
  // The registered identifiers in registry order, for tools and tests.
  const std::map<MpString, Entry>& entries() const { return entries_; }

 private:
  std::map<MpString, Entry> entries_;
};

// The library-wide factory, created on first use and deleted at unload.
MpFactory& mpFactory();

int32_t registerDspCreator(const MpChar* id, MpCreatorFunction creator);
int32_t registerGuiCreator(const MpChar* id, MpCreatorFunction creator);
// Descriptions are accepted and not kept: hosts read them from the files
// shipped beside the library. The texts the library carries are the files
// descriptions/builtin_<name>.xml, compiled in as
//   extern const char zvBuiltinDescription_<name>[];
int32_t registerXmlDescription(const char* xmlText);

// The exported entry point.
MP_EXPORT int32_t MP_STDCALL MP_GetFactory(void** returnInterface);

// Creator for a module class constructed from the host pointer.
template <class Module>
IMpUnknown* createModule(IMpUnknown* host) {
  return static_cast<typename Module::CreatedInterface*>(new Module(host));
}
