#include "host/install_layout.h"

#include <filesystem>
#include <system_error>

#include "host/library_loader.h"

namespace zvhost {

namespace fs = std::filesystem;

std::string runningProgram(const char* argv0) {
#if defined(__linux__)
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error && !self.empty()) return self.string();
#endif
  return argv0 != nullptr ? argv0 : "";
}

InstallLayout findInstallLayout(const std::string& program, const std::string& sourceDescriptions) {
  std::error_code error;
  fs::path folder = fs::path(program).parent_path();
  if (folder.empty()) folder = ".";
  const fs::path canonical = fs::weakly_canonical(folder, error);
  if (!error) folder = canonical;

  InstallLayout layout;
  const fs::path beside = folder / LibraryLoader::fileName();
  const fs::path share = folder.parent_path() / "share" / "zvmods";
  const fs::path installedLibrary = folder.parent_path() / "lib" / "zvmods" / LibraryLoader::fileName();
  const bool installed = !fs::exists(beside, error) && fs::exists(installedLibrary, error);
  if (installed) {
    layout.library = installedLibrary.string();
    layout.descriptions.push_back((share / "descriptions").string());
    for (const char* name : {"wavetables", "soundfonts"}) layout.assetFolders.push_back((share / name).string());
  } else {
    // Not found anywhere: the name beside the program, for the message.
    layout.library = beside.string();
    if (!sourceDescriptions.empty()) layout.descriptions.push_back(sourceDescriptions);
    for (const char* name : {"wavetables", "soundfonts"}) {
      const fs::path generated = folder.parent_path() / name;
      if (fs::is_directory(generated, error)) layout.assetFolders.push_back(generated.string());
    }
  }
  return layout;
}

}  // namespace zvhost
