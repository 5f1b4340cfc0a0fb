// Named memory and file-name resolution.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "host/host_services.h"
#include "host/text.h"
#include "host_fixture.h"

namespace zvhost {
namespace {

TEST(NamedMemory, OneBlockPerNameAndRateLivingWhileUsed) {
  NamedMemory memory;
  int a = 0, b = 0, c = 0;
  bool first = false;
  float* shared = memory.open(u"Table", -1.0f, 4, &a, first);
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(first);
  EXPECT_EQ(shared[3], 0.0f);
  shared[0] = 5.0f;
  EXPECT_EQ(memory.open(u"Table", -1.0f, 4, &b, first), shared);
  EXPECT_FALSE(first);
  float* otherRate = memory.open(u"Table", 44100.0f, 4, &c, first);
  EXPECT_NE(otherRate, shared);
  EXPECT_TRUE(first);
  EXPECT_EQ(memory.open(u"Table", -1.0f, 5, &c, first), nullptr) << "a larger block would move under its users";
  EXPECT_EQ(memory.open(u"Bad", -1.0f, 0, &c, first), nullptr);
  memory.releaseUser(&a);
  EXPECT_EQ(memory.blockCount(), 2u);
  EXPECT_EQ(memory.open(u"Table", -1.0f, 4, &a, first)[0], 5.0f) << "still held by b";
  memory.releaseUser(&a);
  memory.releaseUser(&b);
  memory.releaseUser(&c);
  EXPECT_EQ(memory.blockCount(), 0u);
  EXPECT_TRUE(memory.open(u"Table", -1.0f, 4, &a, first) != nullptr && first) << "a new block after the last user";
}

class FileResolution : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    // One folder per test: ctest runs tests in parallel processes.
    root = testing::scratchFolder(std::string("zvhost_files_") +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(root / "patch");
    fs::create_directories(root / "first");
    fs::create_directories(root / "second");
    std::ofstream(root / "patch" / "local.zvw") << "x";
    std::ofstream(root / "second" / "shared.zvw") << "x";
    std::ofstream(root / "first" / "both.zvw") << "x";
    std::ofstream(root / "second" / "both.zvw") << "x";
  }
  std::filesystem::path root;
};

TEST_F(FileResolution, PatchFolderFirstThenRootsInOrder) {
  FileResolver files((root / "patch").string(), {(root / "first").string(), (root / "second").string()});
  EXPECT_EQ(files.resolve("local.zvw"), (root / "patch" / "local.zvw").string());
  EXPECT_EQ(files.resolve("shared.zvw"), (root / "second" / "shared.zvw").string());
  EXPECT_EQ(files.resolve("both.zvw"), (root / "first" / "both.zvw").string());
  EXPECT_EQ(files.resolve("missing.zvw"), (root / "patch" / "missing.zvw").string());
  EXPECT_EQ(files.resolve("/abs/x.zvw"), "/abs/x.zvw");
}

TEST_F(FileResolution, NeverWritesPastTheCapacity) {
  FileResolver files((root / "patch").string(), {});
  std::string expected = (root / "patch" / "local.zvw").string();
  const auto length = static_cast<int32_t>(expected.size());
  std::vector<MpChar> out(400, u'#');
  WideString name = utf8ToWide("local.zvw");
  EXPECT_EQ(files.resolveInto(name.c_str(), length + 1, out.data()), MP_OK);
  EXPECT_EQ(wideToUtf8(out.data()), expected);
  EXPECT_EQ(out[static_cast<size_t>(length) + 1], u'#');

  std::fill(out.begin(), out.end(), u'#');
  EXPECT_EQ(files.resolveInto(name.c_str(), length, out.data()), MP_FAIL);
  EXPECT_EQ(out[0], 0) << "a refused path leaves an empty text";
  EXPECT_TRUE(std::all_of(out.begin() + 1, out.end(), [](MpChar c) { return c == u'#'; }));
  EXPECT_EQ(files.resolveInto(name.c_str(), 0, out.data()), MP_FAIL);
  EXPECT_EQ(files.resolveInto(nullptr, 10, out.data()), MP_FAIL);
}

TEST(WideText, RoundTripsAndReplacesMalformedBytes) {
  std::string text = "Wavé \xF0\x9F\x8E\xB9 table";
  EXPECT_EQ(wideToUtf8(utf8ToWide(text)), text);
  EXPECT_EQ(utf8ToWide("\xC3").size(), 1u);
  EXPECT_EQ(utf8ToWide("\xC3")[0], 0xFFFD);
  EXPECT_EQ(utf8ToWide("\xE0\x80\x80")[0], 0xFFFD) << "overlong form";
}

}  // namespace
}  // namespace zvhost
