#include <gtest/gtest.h>

#include "modules/sampler/sample_loader3.h"
#include "tests/sampler/test_banks.h"
#include "tests/support/module_harness.h"

namespace {

using namespace zv::sampler;
using namespace zv::sampler::test;
using Loader = SampleLoader3;
using LoaderGui = SampleLoader3Gui;

TEST(SoundFontPath, NeedsTheSuffixAndEightCharacters) {
  EXPECT_TRUE(isSoundFontPath(MP_TEXT("/x/piano.sf2")));
  EXPECT_TRUE(isSoundFontPath(MP_TEXT("/x/PIANO.SF2")));
  EXPECT_TRUE(isSoundFontPath(MP_TEXT("abcd.sF2")));
  EXPECT_FALSE(isSoundFontPath(MP_TEXT("abc.sf2"))) << "seven characters";
  EXPECT_FALSE(isSoundFontPath(MP_TEXT("/x/piano.sf3")));
  EXPECT_FALSE(isSoundFontPath(MP_TEXT("/x/piano.sfz")));
  EXPECT_FALSE(isSoundFontPath(MP_TEXT("/x/piano_sf2")));
}

TEST(PresetLists, FormatsNumbersNamesAndGaps) {
  const std::vector<PresetListEntry> headers = {{0, 5, "Organ"},   {0, 0, "Piano"},  {128, 0, "Kit"},
                                                {0, 1, "Strings"}, {0, 1, "Second"}, {7, 3, "x"}};
  EXPECT_EQ(presetListText(headers, 0), MP_TEXT("  0 Piano,  1 Strings,  5 Organ=5"));
  EXPECT_EQ(presetListText(headers, 128), MP_TEXT("  0 Kit"));
  EXPECT_EQ(presetListText(headers, 7), MP_TEXT("  3 x=3"));
  EXPECT_EQ(presetListText(headers, 9), MP_TEXT("none"));
  EXPECT_EQ(bankListText(headers), MP_TEXT("0,7=7,128=128"));
  EXPECT_EQ(bankListText({}), MP_TEXT("none"));
  EXPECT_EQ(presetListText({{0, 0, "a"}, {0, 1, "b"}, {0, 2, "c"}}, 0), MP_TEXT("  0 a,  1 b,  2 c"));

  // Separators inside names cannot split items; high bytes widen signed.
  const MpString odd = presetListText({{0, 120, "A,B=C\xE9"}}, 0);
  EXPECT_EQ(odd.substr(0, 9), MP_TEXT("120 A B C"));
  EXPECT_EQ(static_cast<uint16_t>(odd[9]), 0xFFE9);
  EXPECT_EQ(odd.substr(10), MP_TEXT("=120"));
}

sf2::Bytes listedBank() {
  sf2::Bank b = standardBank();
  b.presets[0].name = "Grand";
  return sf2::write(b);
}

struct SampleLoader3Test : ::testing::Test {
  SoundFontRegistry registry;
  TempFile file{".sf2", listedBank()};
  TestHost host;
  Loader* loader = nullptr;
  std::unique_ptr<AudioModule> module;

  void SetUp() override {
    host.folder = file.folder();
    loader = new Loader(host.unknown(), registry);
    module = std::make_unique<AudioModule>(host, static_cast<IMpPlugin*>(loader));
    module->open();
  }
  void TearDown() override { module.reset(); }
  void choose(const MpString& name, int32_t bank, int32_t preset, int32_t mode = 0) {
    module->process(1, EventList()
                           .value(0, Loader::LOADER_MODE, mode)
                           .value(0, Loader::FILENAME, name)
                           .value(0, Loader::BANK, bank)
                           .value(0, Loader::PRESET, preset));
  }
};

TEST_F(SampleLoader3Test, HandlesStartAtNoneAndFollowTheChoice) {
  module->process(1, EventList().graphStart());
  EXPECT_EQ(host.lastValue(Loader::HANDLE_OUT).asInt(), -1);
  EXPECT_EQ(host.lastValue(Loader::AUDIO_HANDLE_OUT).asInt(), -1);

  choose(file.fileName(), 0, 0);
  const BankHandle first = host.lastValue(Loader::HANDLE_OUT).asInt();
  ASSERT_GE(first, 0);
  EXPECT_EQ(host.lastValue(Loader::AUDIO_HANDLE_OUT).asInt(), first);
  EXPECT_EQ(host.lastValue(Loader::FILENAME_OUT).asText(), file.fileName());
  EXPECT_EQ(registry.users(first), 1);

  // Another preset of the same file: a new handle, the file not read again.
  choose(file.fileName(), 0, 4);
  const BankHandle second = host.lastValue(Loader::HANDLE_OUT).asInt();
  ASSERT_GE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(registry.users(first), 0);
  EXPECT_EQ(registry.loads(), 1);
  EXPECT_EQ(host.lastValue(Loader::PRESET_OUT).asInt(), 4);

  // The same choice again still announces the handle once more.
  host.clearRecords();
  choose(file.fileName(), 0, 4);
  EXPECT_EQ(host.valuesOn(Loader::AUDIO_HANDLE_OUT).size(), 1u);
  EXPECT_EQ(host.lastValue(Loader::AUDIO_HANDLE_OUT).asInt(), second);
  EXPECT_EQ(registry.users(second), 1);
}

TEST_F(SampleLoader3Test, UnusableNamesGiveNone) {
  choose(file.fileName(), 0, 0);
  const BankHandle loaded = host.lastValue(Loader::HANDLE_OUT).asInt();
  TempFile wrongSuffix(".sf3", listedBank());
  TempFile notSoundFont(".sf2", sf2::list("WAVE", {sf2::chunk("fmt ", {1, 0})}, "RIFF"));
  for (const MpString& name :
       {MpString(), wrongSuffix.fileName(), MpString(MP_TEXT("missing_file.sf2")), notSoundFont.fileName()}) {
    choose(file.fileName(), 0, 0);
    choose(name, 0, 0);
    EXPECT_EQ(host.lastValue(Loader::HANDLE_OUT).asInt(), -1) << toUtf8(name);
    EXPECT_EQ(host.lastValue(Loader::AUDIO_HANDLE_OUT).asInt(), -1);
  }
  EXPECT_EQ(registry.users(loaded), 0);
  EXPECT_EQ(registry.entryCount(), 0u);
}

TEST_F(SampleLoader3Test, GuiLoadingModeAdoptsTheGuiHandle) {
  const BankHandle guiHandle = registry.openPreset(file.wide(), 0, 1);
  choose(file.fileName(), 0, 0, Loader::kGuiLoading);
  EXPECT_TRUE(host.valuesOn(Loader::HANDLE_OUT).empty()) << "no loading here";
  module->process(1, EventList().value(0, Loader::GUI_HANDLE, guiHandle));
  EXPECT_EQ(host.lastValue(Loader::HANDLE_OUT).asInt(), guiHandle);
  EXPECT_EQ(host.lastValue(Loader::AUDIO_HANDLE_OUT).asInt(), guiHandle);
  EXPECT_EQ(registry.users(guiHandle), 1) << "adopted without a user of its own";
  // Back in its own mode, its next load releases the adopted handle.
  choose(file.fileName(), 0, 2, 0);
  EXPECT_EQ(registry.users(guiHandle), 0);
}

// Drives a GUI side the way the host does.
struct Gui {
  LoaderGui* gui;
  explicit Gui(LoaderGui* g) : gui(g) { gui->addRef(); }
  ~Gui() { gui->release(); }
  void set(int32_t pin, int32_t v) {
    gui->pinValueFromHost(pin, 0, 4, &v);
    gui->pinNotifyFromHost(pin, 0);
  }
  void set(int32_t pin, const MpString& text) {
    gui->pinValueFromHost(pin, 0, static_cast<int32_t>(text.size() * 2), text.data());
    gui->pinNotifyFromHost(pin, 0);
  }
};

MpString lastGuiText(const TestHost& host, int32_t pin) {
  for (auto v = host.guiValues.rbegin(); v != host.guiValues.rend(); ++v) {
    if (v->pin == pin) return v->asText();
  }
  return MP_TEXT("<nothing>");
}
int32_t lastGuiInt(const TestHost& host, int32_t pin) {
  for (auto v = host.guiValues.rbegin(); v != host.guiValues.rend(); ++v) {
    if (v->pin == pin) return v->asInt();
  }
  return -999;
}

TEST_F(SampleLoader3Test, GuiSideTakesOverTheAudioSidesUserAndPublishesLists) {
  choose(file.fileName(), 0, 0);
  const BankHandle audioHandle = host.lastValue(Loader::HANDLE_OUT).asInt();
  {
    Gui gui(new LoaderGui(host.unknown(), registry));
    // Before initialisation a reload only publishes lists.
    gui.set(LoaderGui::FILENAME, file.fileName());
    EXPECT_EQ(lastGuiInt(host, LoaderGui::LOADER_MODE), 0);
    EXPECT_EQ(lastGuiText(host, LoaderGui::PRESET_LIST), MP_TEXT("  0 Grand,  1 Left,  2 Right,  3 Rom,  4 Full"));
    EXPECT_EQ(lastGuiText(host, LoaderGui::BANK_LIST), MP_TEXT("0,128=128"));
    EXPECT_EQ(registry.entryCount(), 1u);

    gui.set(LoaderGui::AUDIO_HANDLE, audioHandle);
    gui.gui->initializeGui();
    EXPECT_EQ(lastGuiInt(host, LoaderGui::LOADER_MODE), Loader::kGuiLoading);
    const BankHandle guiHandle = lastGuiInt(host, LoaderGui::GUI_HANDLE);
    EXPECT_EQ(guiHandle, audioHandle) << "same choice, same entry";
    EXPECT_EQ(registry.users(guiHandle), 1) << "the adopted user was released";

    gui.set(LoaderGui::BANK, 128);
    const BankHandle kit = lastGuiInt(host, LoaderGui::GUI_HANDLE);
    EXPECT_NE(kit, guiHandle);
    EXPECT_EQ(registry.users(guiHandle), 0);
    EXPECT_EQ(lastGuiText(host, LoaderGui::PRESET_LIST), MP_TEXT("  0 Kit"));

    gui.set(LoaderGui::FILENAME, MpString(MP_TEXT("nothing.sf2")));
    EXPECT_EQ(lastGuiInt(host, LoaderGui::GUI_HANDLE), -1);
    EXPECT_EQ(lastGuiText(host, LoaderGui::PRESET_LIST), MP_TEXT("none"));
    EXPECT_EQ(lastGuiText(host, LoaderGui::BANK_LIST), MP_TEXT("none"));
    EXPECT_EQ(registry.entryCount(), 0u);
    gui.set(LoaderGui::FILENAME, file.fileName());
  }
  EXPECT_EQ(lastGuiInt(host, LoaderGui::LOADER_MODE), 0) << "leaving hands loading back";
  EXPECT_EQ(registry.entryCount(), 1u) << "the GUI side's handle stays for the audio side";
}

TEST_F(SampleLoader3Test, GuiListsOfAFileWithoutPresets) {
  sf2::Bank empty;
  TempFile bare(".sf2", sf2::write(empty));
  Gui gui(new LoaderGui(host.unknown(), registry));
  gui.set(LoaderGui::FILENAME, bare.fileName());
  EXPECT_EQ(lastGuiText(host, LoaderGui::PRESET_LIST), MP_TEXT("none"));
  EXPECT_EQ(lastGuiText(host, LoaderGui::BANK_LIST), MP_TEXT("none"));
}

}  // namespace
