// Where zvhost's own files are. In the build tree the library lies beside
// the program, the descriptions are the source tree's and the generated
// wavetables and SoundFonts are one folder up; installed, the program is
// <prefix>/bin/zvhost, the library <prefix>/lib/zvmods/ and the rest under
// <prefix>/share/zvmods/. Both are found from the program's own place, so
// an unpacked package works wherever it is put.
#pragma once

#include <string>
#include <vector>

namespace zvhost {

struct InstallLayout {
  std::string library;                    // the library to load unless told otherwise
  std::vector<std::string> descriptions;  // description folders, in order
  std::vector<std::string> assetFolders;  // bundled wavetables and SoundFonts, in order
};

// The running program's path: the system's record of it where there is
// one, else argv[0].
std::string runningProgram(const char* argv0);

// The layout around `program`; `sourceDescriptions` is the source tree's
// description folder, used when the program is not installed.
InstallLayout findInstallLayout(const std::string& program, const std::string& sourceDescriptions);

}  // namespace zvhost
