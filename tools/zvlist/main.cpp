// Lists the modules described in a descriptions folder and the sides the
// built library can create for each, loading the library as a host does.
//
//   zvlist [DESCRIPTIONS_FOLDER]
#include <tinyxml2.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "host/library_loader.h"

namespace {

std::basic_string<MpChar> widen(const std::string& text) {
  // Identifiers are ASCII.
  return std::basic_string<MpChar>(text.begin(), text.end());
}

// -2: no creator for that side; anything else means the side exists (a null
// host makes a registered creator refuse with -1).
bool hasSide(IMpFactory* factory, const std::string& id, int32_t side) {
  void* created = nullptr;
  int32_t result = factory->createInstance(widen(id).c_str(), side, nullptr, &created);
  if (created != nullptr) static_cast<IMpUnknown*>(created)->release();
  return result != MP_UNHANDLED;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::path(ZV_DESCRIPTIONS_DIR);
  LibraryLoader library(LibraryLoader::besideProgram(argv[0]));
  IMpFactory* factory = library.factory();
  if (factory == nullptr) {
    std::fprintf(stderr, "zvlist: %s\n", library.loaded() ? "no MP_GetFactory" : library.error().c_str());
    return 1;
  }
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().extension() == ".xml") files.push_back(entry.path());
  if (error) {
    std::fprintf(stderr, "zvlist: %s: %s\n", folder.string().c_str(), error.message().c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());
  int failures = 0;
  for (const auto& file : files) {
    tinyxml2::XMLDocument document;
    if (document.LoadFile(file.string().c_str()) != tinyxml2::XML_SUCCESS) {
      std::fprintf(stderr, "zvlist: %s: %s\n", file.string().c_str(), document.ErrorStr());
      ++failures;
      continue;
    }
    auto* list = document.FirstChildElement("PluginList");
    for (auto* plugin = list ? list->FirstChildElement("Plugin") : nullptr; plugin;
         plugin = plugin->NextSiblingElement("Plugin")) {
      const char* id = plugin->Attribute("id");
      if (id == nullptr) continue;
      bool audio = hasSide(factory, id, 0);
      bool gui = hasSide(factory, id, 1);
      std::printf("%-32s %-5s %-3s\n", id, audio ? "audio" : "", gui ? "gui" : "");
    }
  }
  return failures == 0 ? 0 : 1;
}
