#include "host/install_layout.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/library_loader.h"
#include "tests/host/host_fixture.h"

namespace {

namespace fs = std::filesystem;
using zvhost::findInstallLayout;

void touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "x";
}

std::vector<std::string> strings(std::initializer_list<fs::path> paths) {
  std::vector<std::string> out;
  for (const auto& p : paths) out.push_back(p.string());
  return out;
}

TEST(InstallLayout, FindsTheInstalledTreeAndTheBuildTreeFromTheProgram) {
  const fs::path root = fs::canonical(zvhost::testing::scratchFolder("zv_install_layout"));
  const std::string lib = LibraryLoader::fileName();

  // Installed: bin/, lib/zvmods/, share/zvmods/.
  const fs::path prefix = root / "prefix";
  touch(prefix / "bin" / "zvhost");
  touch(prefix / "lib" / "zvmods" / lib);
  const fs::path share = prefix / "share" / "zvmods";
  for (const char* name : {"descriptions", "wavetables", "soundfonts"}) fs::create_directories(share / name);
  auto installed = findInstallLayout((prefix / "bin" / "zvhost").string(), "/source/descriptions");
  EXPECT_EQ(installed.library, (prefix / "lib" / "zvmods" / lib).string());
  EXPECT_EQ(installed.descriptions, strings({share / "descriptions"}));
  EXPECT_EQ(installed.assetFolders, strings({share / "wavetables", share / "soundfonts"}));

  // The same, reached through a path with a dot-dot in it.
  auto indirect = findInstallLayout((prefix / "share" / ".." / "bin" / "zvhost").string(), "");
  EXPECT_EQ(indirect.library, installed.library);

  // Build tree: the library beside the program wins over an installed one,
  // the source descriptions are used and only generated folders that exist.
  const fs::path build = root / "build";
  touch(build / "bin" / "zvhost");
  touch(build / "bin" / lib);
  touch(build / "lib" / "zvmods" / lib);
  fs::create_directories(build / "wavetables");
  auto built = findInstallLayout((build / "bin" / "zvhost").string(), "/source/descriptions");
  EXPECT_EQ(built.library, (build / "bin" / lib).string());
  EXPECT_EQ(built.descriptions, std::vector<std::string>{"/source/descriptions"});
  EXPECT_EQ(built.assetFolders, strings({build / "wavetables"}));

  // Neither: the library is expected beside the program, for the message.
  touch(root / "lone" / "zvhost");
  auto lone = findInstallLayout((root / "lone" / "zvhost").string(), "");
  EXPECT_EQ(lone.library, (root / "lone" / lib).string());
  EXPECT_TRUE(lone.descriptions.empty());
  EXPECT_TRUE(lone.assetFolders.empty());
  fs::remove_all(root);
}

TEST(InstallLayout, RunningProgramIsThisTestProgram) {
  const fs::path self = zvhost::runningProgram("ignored");
  EXPECT_TRUE(fs::exists(self)) << self;
  EXPECT_EQ(self.filename(), "zvhost_tests");
}

}  // namespace
