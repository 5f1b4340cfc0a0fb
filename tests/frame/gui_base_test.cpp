#include <gtest/gtest.h>

#include <cstring>

#include "frame/factory.h"
#include "frame/gui_base.h"
#include "tests/support/module_harness.h"

namespace {

class Panel : public MpGuiBase {
 public:
  enum Pin { COUNT, FLAG, LEVEL, TITLE, DATA };
  explicit Panel(IMpUnknown* host) : MpGuiBase(host) {
    count.initialize(this, COUNT, &Panel::onCount);
    flag.initialize(this, FLAG);
    level.initialize(this, LEVEL);
    title.initialize(this, TITLE);
    data.initialize(this, DATA);
  }
  void onCount() { ++notifications; }

  GuiIntPin count;
  GuiBoolPin flag;
  GuiFloatPin level;
  GuiStringPin title;
  GuiBlobPin data;
  int notifications = 0;
};

class Canvas : public SeGuiCompositedGfxBase {
 public:
  explicit Canvas(IMpUnknown* host) : SeGuiCompositedGfxBase(host) {}
};

struct GuiBaseTest : ::testing::Test {
  TestHost host;
  Panel* panel = new Panel(host.unknown());
  void SetUp() override { panel->addRef(); }
  void TearDown() override { panel->release(); }
};

TEST_F(GuiBaseTest, NotifyCallsTheHandlerEvenWithoutAChange) {
  int32_t five = 5;
  panel->pinValueFromHost(Panel::COUNT, 0, 4, &five);
  panel->pinNotifyFromHost(Panel::COUNT, 0);
  panel->pinValueFromHost(Panel::COUNT, 0, 4, &five);
  panel->pinNotifyFromHost(Panel::COUNT, 0);
  EXPECT_EQ(panel->notifications, 2);
  EXPECT_EQ(panel->count.getValue(), 5);
}

TEST_F(GuiBaseTest, RawValuesReportChangesAndStayInsideTheirBytes) {
  int32_t two = 2;
  EXPECT_TRUE(panel->flag.setRawValue(0, 4, &two));
  EXPECT_TRUE(panel->flag.getValue());
  EXPECT_FALSE(panel->flag.setRawValue(0, 1, "\x01"));
  const char16_t odd[] = u"abc";
  EXPECT_TRUE(panel->title.setRawValue(0, 5, odd));
  EXPECT_EQ(panel->title.getValue(), MpString(MP_TEXT("ab")));
  uint8_t half[2] = {0x80, 0x3F};
  panel->level.setRawValue(0, 2, half);
  const uint8_t widened[4] = {0x80, 0x3F, 0, 0};
  EXPECT_EQ(std::memcmp(panel->level.rawPointer(), widened, 4), 0);
  EXPECT_TRUE(panel->data.setRawValue(0, 3, "xyz"));
  EXPECT_EQ(panel->data.rawSize(), 3);
  EXPECT_TRUE(panel->data.setRawValue(0, -4, "xyz"));
  EXPECT_EQ(panel->data.rawSize(), 0);
  EXPECT_EQ(panel->flag.rawSize(), 1);
  EXPECT_EQ(panel->count.datatype(), MP_DT_INT);
  EXPECT_EQ(panel->flag.datatype(), MP_DT_BOOL);
  EXPECT_EQ(panel->level.datatype(), MP_DT_FLOAT);
  EXPECT_EQ(panel->title.datatype(), MP_DT_TEXT);
  EXPECT_EQ(panel->data.datatype(), MP_DT_BLOB);
}

TEST_F(GuiBaseTest, AssigningSendsOnlyChanges) {
  panel->level = 0.0f;
  EXPECT_TRUE(host.guiValues.empty());
  panel->level = 0.5f;
  panel->level = 0.5f;
  ASSERT_EQ(host.guiValues.size(), 1u);
  EXPECT_EQ(host.guiValues[0].pin, Panel::LEVEL);
  EXPECT_EQ(host.guiValues[0].voice, 0);
  EXPECT_EQ(host.guiValues[0].asFloat(), 0.5f);
  panel->title = MpString(MP_TEXT("hi"));
  EXPECT_EQ(host.guiValues.back().asText(), MpString(MP_TEXT("hi")));
}

TEST_F(GuiBaseTest, UnknownPinsAndInterfaces) {
  EXPECT_EQ(panel->pinValueFromHost(42, 0, 0, nullptr), MP_FAIL);
  EXPECT_EQ(panel->pinNotifyFromHost(42, 0), MP_FAIL);
  void* out = nullptr;
  EXPECT_EQ(panel->queryInterface(&MP_IID_GRAPHICS_COMPOSITED, &out), MP_UNHANDLED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(panel->queryInterface(&MP_IID_GUI_PLUGIN, &out), MP_OK);
  panel->release();
}

IMpUnknown* makeCanvas(IMpUnknown* host) { return createModule<Canvas>(host); }
IMpUnknown* makePanel(IMpUnknown* host) { return createModule<Panel>(host); }

TEST(GuiBaseCreation, HostsWithoutTheInterfacesAreRefused) {
  MpFactory factory;
  factory.setCreator(MP_TEXT("Canvas"), MP_SIDE_GUI, makeCanvas);
  factory.setCreator(MP_TEXT("Panel"), MP_SIDE_GUI, makePanel);
  TestHost host;
  void* created = nullptr;

  host.offerGraphics = false;
  EXPECT_EQ(factory.createInstance(MP_TEXT("Canvas"), 1, host.unknown(), &created), MP_FAIL);
  EXPECT_EQ(created, nullptr);
  EXPECT_EQ(host.references, 0) << "the GUI host obtained first is released again";
  EXPECT_EQ(factory.createInstance(MP_TEXT("Panel"), 1, host.unknown(), &created), MP_OK);
  static_cast<IMpUnknown*>(created)->release();

  host.offerGui = false;
  EXPECT_EQ(factory.createInstance(MP_TEXT("Panel"), 1, host.unknown(), &created), MP_FAIL);
  EXPECT_EQ(host.references, 0);
}

TEST(GuiBaseGraphics, SecondFaceSharesTheObject) {
  TestHost host;
  auto* canvas = new Canvas(host.unknown());
  canvas->addRef();
  void* face = nullptr;
  ASSERT_EQ(canvas->queryInterface(&MP_IID_GRAPHICS_COMPOSITED, &face), MP_OK);
  auto* graphics = static_cast<ISeGraphicsComposited*>(face);
  EXPECT_EQ(graphics->addRef(), 3);

  int32_t size[2] = {0, 0};
  graphics->queryDesiredSize(10, 300, size);
  EXPECT_EQ(size[0], 15);
  EXPECT_EQ(size[1], 100);
  graphics->queryDesiredSize(50, 60, size);
  EXPECT_EQ(size[0], 50);
  EXPECT_EQ(size[1], 60);
  graphics->placeRectangle(MpRect{1, 2, 3, 4});
  EXPECT_EQ(canvas->rectangle().v3, 4);
  canvas->invalidate();
  EXPECT_EQ(host.redrawRequests, 1);

  EXPECT_EQ(graphics->release(), 2);
  EXPECT_EQ(graphics->release(), 1);
  EXPECT_EQ(canvas->release(), 0);
  EXPECT_EQ(host.references, 0);
}

}  // namespace
