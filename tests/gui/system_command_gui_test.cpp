#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "frame/platform/shell.h"
#include "modules/gui/system_command_gui.h"
#include "tests/support/module_harness.h"

namespace {

namespace fs = std::filesystem;
using Pin = SystemCommandGui::Pin;

MpString mpText(const fs::path& path) {
  const std::u16string text = path.generic_u16string();
  return MpString(text.begin(), text.end());
}

// Only the Windows shell edits a script without opening it; elsewhere
// "edit" opens, so programs are refused as for "open".
#if defined(_WIN32)
constexpr const char* kEditsPrograms = "edit";
#else
constexpr const char* kEditsPrograms = nullptr;
#endif

// A folder of files a patch might name, and a launcher that only records.
struct SystemCommandTest : ::testing::Test {
  // Private to this run: test programs of several builds may run at once.
  fs::path folder =
      fs::temp_directory_path() /
      ("zv_system_command_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::vector<std::pair<std::string, MpString>> launched;
  MpShellLauncher previous;
  TestHost host;

  void SetUp() override {
    fs::create_directories(folder / "samples");
    for (const char* name :
         {"notes.txt", "run.bat", ".bat", "tool.EXE", "link.lnk", "page.url", "setup.msi", "help.chm"}) {
      std::ofstream(folder / name) << "x";
    }
    host.folder = mpText(folder) + MP_TEXT("/");
    previous = mpSetShellLauncher(
        [this](const MpString& verb, const MpString& path) { launched.emplace_back(toUtf8(verb), path); });
  }
  void TearDown() override {
    mpSetShellLauncher(previous);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  void press(GuiModule& gui, int32_t command, const char* file) {
    gui.set(Pin::COMMAND, command);
    gui.set(Pin::FILE, widenAscii(file));
    gui.set(Pin::TRIGGER, true);
    gui.set(Pin::TRIGGER, false);
  }
};

TEST_F(SystemCommandTest, ReleaseCarriesOutTheVerbOnce) {
  GuiModule command(host, MP_TEXT("SE System Command"));
  command.set(Pin::COMMAND, 3);
  command.set(Pin::FILE, widenAscii("notes.txt"));
  command.set(Pin::TRIGGER, true);
  EXPECT_TRUE(launched.empty()) << "pressing alone";
  command.set(Pin::TRIGGER, false);
  command.set(Pin::TRIGGER, false);
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0].first, "open");
  EXPECT_EQ(launched[0].second, mpText(folder / "notes.txt"));
}

TEST_F(SystemCommandTest, OnlyLocalFilesAndNoProgramsToOpen) {
  struct Case {
    int32_t command;
    const char* file;
    const char* verb;  // null: nothing is started
  } cases[] = {
      {0, "notes.txt", "edit"},       {1, "samples", "explore"},      {2, "samples", "find"},
      {4, "notes.txt", "print"},      {5, "notes.txt", "properties"}, {3, "samples", "open"},
      {0, "run.bat", kEditsPrograms}, {3, "run.bat", nullptr},        {3, "tool.EXE", nullptr},
      {3, "link.lnk", nullptr},       {3, "page.url", nullptr},       {3, "setup.msi", nullptr},
      {3, "help.chm", nullptr},       {3, "run.bat.", nullptr},       {3, "run.bat .", nullptr},
      {3, ".bat", nullptr},           {3, "missing.txt", nullptr},    {3, "notes.txt:stream", nullptr},
      {6, "notes.txt", nullptr},      {-1, "notes.txt", nullptr},
  };
  GuiModule command(host, MP_TEXT("SE System Command"));
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.command << " " << c.file);
    launched.clear();
    press(command, c.command, c.file);
    if (c.verb == nullptr) {
      EXPECT_TRUE(launched.empty());
    } else {
      ASSERT_EQ(launched.size(), 1u);
      EXPECT_EQ(launched[0].first, c.verb);
    }
  }
}

TEST_F(SystemCommandTest, PathsFromElsewhereAreRefused) {
  const std::string local = toUtf8(mpText(folder / "notes.txt"));
  EXPECT_TRUE(mpIsLocalFileOrFolder(widenAscii(local)));
  for (const char* path : {"\\\\host\\share\\x.exe", "//host/share/notes.txt", "http://example.org/notes.txt",
                           "file:///tmp/notes.txt", "\\\\?\\C:\\notes.txt", "C:notes.txt", "notes.txt", ""}) {
    EXPECT_FALSE(mpIsLocalFileOrFolder(widenAscii(path))) << path;
  }
  // Text that names no file: an unpaired surrogate.
  GuiModule unpaired(host, MP_TEXT("SE System Command"));
  unpaired.set(Pin::COMMAND, 0);
  unpaired.set(Pin::FILE, MpString(MP_TEXT("notes")) + MpChar(0xD800) + MP_TEXT(".txt"));
  unpaired.set(Pin::TRIGGER, true);
  unpaired.set(Pin::TRIGGER, false);
  EXPECT_TRUE(launched.empty());
  // A host whose resolution is not to be trusted starts nothing.
  host.resolver = [](const MpChar*, int32_t capacity, MpChar* out) {
    std::fill(out, out + capacity, MpChar('x'));
    return MP_OK;
  };
  GuiModule command(host, MP_TEXT("SE System Command"));
  press(command, 0, "notes.txt");
  EXPECT_TRUE(launched.empty());
}

#if !defined(_WIN32)
TEST_F(SystemCommandTest, ExecutableFilesAreNotOpened) {
  std::ofstream(folder / "script") << "#!/bin/sh\n";
  fs::permissions(folder / "script", fs::perms::owner_exec, fs::perm_options::add);
  GuiModule command(host, MP_TEXT("SE System Command"));
  press(command, 3, "script");
  EXPECT_TRUE(launched.empty());
  press(command, 0, "script");
  EXPECT_TRUE(launched.empty()) << "editing here opens";
}
#endif

}  // namespace
