#include <gtest/gtest.h>

#include <stdexcept>

#include "frame/factory.h"
#include "frame/mp_base.h"
#include "tests/support/module_harness.h"
#include "tests/support/test_host.h"

namespace {

class Trivial : public MpBase {
 public:
  explicit Trivial(IMpUnknown* host) : MpBase(host) {}
};

IMpUnknown* throwingCreator(IMpUnknown*) { throw std::runtime_error("no"); }

struct FactoryTest : ::testing::Test {
  MpFactory factory;
  TestHost host;
  void* created = reinterpret_cast<void*>(0x1);

  int32_t create(const MpChar* id, int32_t side) { return factory.createInstance(id, side, host.unknown(), &created); }
};

TEST_F(FactoryTest, CreatesRegisteredSideWithOneReference) {
  factory.setCreator(MP_TEXT("Trivial"), MP_SIDE_AUDIO, createModule<Trivial>);
  ASSERT_EQ(create(MP_TEXT("Trivial"), 0), MP_OK);
  auto plugin = static_cast<IMpPlugin*>(static_cast<IMpUnknown*>(created));
  EXPECT_EQ(plugin->addRef(), 2);
  EXPECT_EQ(plugin->release(), 1);
  EXPECT_EQ(host.references, 1);  // the module holds the host once
  EXPECT_EQ(plugin->release(), 0);
  EXPECT_EQ(host.references, 0);
}

TEST_F(FactoryTest, RefusalsLeaveANullPointer) {
  factory.setCreator(MP_TEXT("Trivial"), MP_SIDE_AUDIO, createModule<Trivial>);
  factory.setCreator(MP_TEXT("Throws"), MP_SIDE_AUDIO, throwingCreator);

  EXPECT_EQ(create(MP_TEXT("Missing"), 0), MP_UNHANDLED);
  EXPECT_EQ(created, nullptr);
  created = &host;
  EXPECT_EQ(create(MP_TEXT("trivial"), 0), MP_UNHANDLED) << "identifiers are case-sensitive";
  EXPECT_EQ(created, nullptr);
  created = &host;
  EXPECT_EQ(create(MP_TEXT("Trivial"), 1), MP_UNHANDLED) << "no GUI side registered";
  EXPECT_EQ(created, nullptr);
  EXPECT_EQ(create(MP_TEXT("Trivial"), 2), MP_UNHANDLED);
  EXPECT_EQ(create(MP_TEXT("Trivial"), -1), MP_UNHANDLED);
  created = &host;
  EXPECT_EQ(create(MP_TEXT("Throws"), 0), MP_FAIL);
  EXPECT_EQ(created, nullptr);
}

TEST_F(FactoryTest, HostWithoutAudioInterfaceIsRefused) {
  factory.setCreator(MP_TEXT("Trivial"), MP_SIDE_AUDIO, createModule<Trivial>);
  host.offerAudio = false;
  EXPECT_EQ(create(MP_TEXT("Trivial"), 0), MP_FAIL);
  EXPECT_EQ(created, nullptr);
  EXPECT_EQ(host.references, 0);
}

TEST_F(FactoryTest, BothSidesShareOneEntryAndLaterRegistrationsReplace) {
  factory.setCreator(MP_TEXT("Both"), MP_SIDE_AUDIO, throwingCreator);
  factory.setCreator(MP_TEXT("Both"), MP_SIDE_GUI, throwingCreator);
  factory.setCreator(MP_TEXT("Both"), MP_SIDE_AUDIO, createModule<Trivial>);
  ASSERT_EQ(factory.entries().size(), 1u);
  EXPECT_EQ(create(MP_TEXT("Both"), 0), MP_OK);
  static_cast<IMpUnknown*>(created)->release();
  EXPECT_EQ(create(MP_TEXT("Both"), 1), MP_FAIL);
}

TEST_F(FactoryTest, SdkInformationTruncatesSilently) {
  int32_t version = 0;
  MpChar text[64];
  EXPECT_EQ(factory.getSdkInformation(&version, 64, text), MP_OK);
  EXPECT_EQ(version, 30400);
  EXPECT_EQ(MpString(text), MpString(MP_TEXT("MS Compiler V1600")));

  MpChar shortText[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(factory.getSdkInformation(&version, 5, shortText), MP_OK);
  EXPECT_EQ(MpString(shortText), MpString(MP_TEXT("MS C")));
  EXPECT_EQ(shortText[5], 'x') << "nothing written past maxChars";
}

TEST_F(FactoryTest, AnswersOnlyItsOwnInterfaces) {
  void* out = nullptr;
  EXPECT_EQ(factory.queryInterface(&MP_IID_FACTORY, &out), MP_OK);
  EXPECT_EQ(out, static_cast<IMpFactory*>(&factory));
  EXPECT_EQ(factory.queryInterface(&MP_IID_UNKNOWN, &out), MP_OK);
  EXPECT_EQ(factory.queryInterface(&MP_IID_PLUGIN, &out), MP_UNHANDLED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory.addRef(), 16);
  EXPECT_EQ(factory.release(), 1);
}

TEST(LibraryFactory, EntryPointHandsOutTheOneFactory) {
  void* first = nullptr;
  void* second = nullptr;
  ASSERT_EQ(MP_GetFactory(&first), MP_OK);
  ASSERT_EQ(MP_GetFactory(&second), MP_OK);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, static_cast<IMpFactory*>(&mpFactory()));
}

TEST(LibraryFactory, XmlDescriptionsChangeNothing) {
  size_t before = mpFactory().entries().size();
  EXPECT_EQ(registerXmlDescription("<?xml version=\"1.0\" encoding=\"utf-8\" ?><PluginList/>"), 0);
  EXPECT_EQ(mpFactory().entries().size(), before);
}

}  // namespace
