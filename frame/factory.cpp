#include "frame/factory.h"

#include <cstdio>
#include <cstdlib>

namespace {

MpFactory* g_factory = nullptr;

void deleteFactory() {
  delete g_factory;
  g_factory = nullptr;
}

}  // namespace

MpFactory& mpFactory() {
  if (g_factory == nullptr) {
    g_factory = new MpFactory();
    std::atexit(deleteFactory);
  }
  return *g_factory;
}

int32_t MP_STDCALL MpFactory::queryInterface(const MpGuid* iid, void** returnInterface) {
  if (returnInterface == nullptr) return MP_FAIL;
  if (mpGuidEqual(iid, MP_IID_UNKNOWN) || mpGuidEqual(iid, MP_IID_FACTORY)) {
    *returnInterface = static_cast<IMpFactory*>(this);
    addRef();
    return MP_OK;
  }
  *returnInterface = nullptr;
  return MP_UNHANDLED;
}

int32_t MP_STDCALL MpFactory::createInstance(const MpChar* uniqueId, int32_t subType, IMpUnknown* host,
                                             void** returnInterface) {
  if (returnInterface == nullptr) return MP_FAIL;
  *returnInterface = nullptr;
  if (uniqueId == nullptr) return MP_UNHANDLED;
  auto found = entries_.find(MpString(uniqueId));
  if (found == entries_.end()) return MP_UNHANDLED;
  MpCreatorFunction creator = nullptr;
  if (subType == MP_SIDE_AUDIO) {
    creator = found->second.audioCreator;
  } else if (subType == MP_SIDE_GUI) {
    creator = found->second.guiCreator;
  }
  if (creator == nullptr) return MP_UNHANDLED;
  IMpUnknown* created = nullptr;
  try {
    created = creator(host);
  } catch (...) {
    return MP_FAIL;
  }
  if (created == nullptr) return MP_FAIL;
  *returnInterface = created;
  created->addRef();
  return MP_OK;
}

int32_t MP_STDCALL MpFactory::getSdkInformation(int32_t* returnSdkVersion, int32_t maxChars,
                                                MpChar* returnCompilerInformation) {
  if (returnSdkVersion != nullptr) *returnSdkVersion = 30400;
  if (returnCompilerInformation != nullptr && maxChars > 0) {
    char text[32];
    std::snprintf(text, sizeof text, "MS Compiler V%d", 1600);
    int32_t i = 0;
    for (; i < maxChars - 1 && text[i] != 0; ++i) returnCompilerInformation[i] = static_cast<MpChar>(text[i]);
    returnCompilerInformation[i] = 0;
  }
  return MP_OK;
}

void MpFactory::setCreator(const MpChar* id, MpSide side, MpCreatorFunction creator) {
  Entry& entry = entries_[MpString(id)];
  (side == MP_SIDE_AUDIO ? entry.audioCreator : entry.guiCreator) = creator;
}

int32_t registerDspCreator(const MpChar* id, MpCreatorFunction creator) {
  mpFactory().setCreator(id, MP_SIDE_AUDIO, creator);
  return 0;
}

int32_t registerGuiCreator(const MpChar* id, MpCreatorFunction creator) {
  mpFactory().setCreator(id, MP_SIDE_GUI, creator);
  return 0;
}

int32_t registerXmlDescription(const char* /*xmlText*/) { return 0; }

MP_EXPORT int32_t MP_STDCALL MP_GetFactory(void** returnInterface) {
  return mpFactory().queryInterface(&MP_IID_UNKNOWN, returnInterface);
}
