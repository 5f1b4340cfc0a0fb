// The host's bounds: bounded file reading, sizes in messages and options,
// one-line messages, and the memory a patch is reckoned to take.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "host/limits.h"
#include "host/memory_estimate.h"
#include "host/patch.h"
#include "host_fixture.h"

namespace zvhost::testing {
namespace {

namespace fs = std::filesystem;

TEST(ReadRegularFile, ReadsRegularFilesWithinTheLimitAndRefusesTheRest) {
  const fs::path folder = scratchFolder("zvhost_read_limits");
  std::ofstream(folder / "ten.txt") << "0123456789";
  ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
  // Sparse: the size is checked before a byte is read.
  std::ofstream(folder / "huge.bin").close();
  fs::resize_file(folder / "huge.bin", uint64_t{5} << 30);

  EXPECT_EQ(readRegularFile((folder / "ten.txt").string(), 10, "test file"), "0123456789");
  struct Case {
    std::string path;
    uint64_t limit;
    std::string problem;
  };
  const Case cases[] = {
      {(folder / "ten.txt").string(), 9, "the test file is 10 bytes, more than the 9 bytes allowed"},
      {(folder / "huge.bin").string(), uint64_t{4} << 20, "the test file is 5 GiB, more than the 4 MiB allowed"},
      {folder.string(), 100, "a folder, not a test file"},
      {(folder / "pipe").string(), 100, "a pipe, not a test file"},
      {"/dev/zero", 100, "a character device, not a test file"},
      {(folder / "missing").string(), 100, "cannot open the test file: no such file"},
      // Reports a size of 0 but has more: the reading itself stops.
      {"/proc/self/status", 10, "the test file is more than the 10 bytes allowed"},
  };
  for (const Case& c : cases) {
    try {
      readRegularFile(c.path, c.limit, "test file");
      ADD_FAILURE() << c.path << " was read";
    } catch (const FileRefused& e) {
      EXPECT_EQ(std::string(e.what()), c.problem) << c.path;
    }
  }
}

TEST(ByteSizes, ParseInBinaryUnitsAndPrintShort) {
  const uint64_t kib = 1024, mib = kib << 10, gib = mib << 10;
  const std::pair<const char*, uint64_t> good[] = {
      {"65536", 65536}, {"512M", 512 * mib}, {"4g", 4 * gib}, {"1.5GiB", 3 * gib / 2},
      {"2KB", 2 * kib}, {"1T", gib << 10},   {"100B", 100},
  };
  for (const auto& [text, bytes] : good) EXPECT_EQ(parseBytes(text), bytes) << text;
  for (const char* bad : {"", "G", "-1G", "0", "0.4", "1e9", "12Q", "4 G", "nan", "inf", "1.5.2G", "9999999T"})
    EXPECT_EQ(parseBytes(bad), std::nullopt) << bad;

  const std::pair<uint64_t, const char*> printed[] = {
      {0, "0 bytes"}, {1, "1 byte"}, {1023, "1023 bytes"}, {1024, "1 KiB"}, {1536, "1.5 KiB"}, {4 * gib, "4 GiB"},
  };
  for (const auto& [bytes, text] : printed) EXPECT_EQ(formatBytes(bytes), text) << bytes;
}

TEST(OneLine, CutsLongQuotesAndControlCharacters) {
  EXPECT_EQ(oneLine("p.json: \"a\nb\" is\tbad"), "p.json: \"a?b\" is?bad");
  const std::string id(100000, 'X');
  const std::string line = oneLine("unknown identifier \"" + id + "\" (no description names it)");
  EXPECT_EQ(line, "unknown identifier \"" + std::string(80, 'X') + "...\" (no description names it)");
  // Two-byte characters are not split.
  std::string accents;
  for (int i = 0; i < 100; ++i) accents += "\xC3\xA9";
  EXPECT_EQ(oneLine(std::string("\"").append(accents).append("\""), 81),
            std::string("\"").append(accents, 0, 80).append("...\""));
  // Unquoted, the start and the end stay.
  const std::string unquoted = oneLine("start " + std::string(100000, 'y') + " end");
  EXPECT_LT(unquoted.size(), 2100u);
  EXPECT_EQ(unquoted.rfind("start ", 0), 0u);
  EXPECT_EQ(unquoted.substr(unquoted.size() - 4), " end");
}

// The library's own descriptions: the estimate knows its modules by them.
const DescriptionSet& libraryDescriptions() {
  static const DescriptionSet set = [] {
    DescriptionSet s;
    s.loadFolder(ZV_DESCRIPTIONS);
    return s;
  }();
  return set;
}

TEST(MemoryEstimate, CountsANamedFileOnceHoweverManyVoicesNameIt) {
  const fs::path folder = scratchFolder("zvhost_estimate_files");
  std::ofstream(folder / "big.sf2").close();
  fs::resize_file(folder / "big.sf2", uint64_t{3} << 30);
  const FileResolver files(folder.string(), {});
  EngineSettings settings;
  auto patch = [](const char* file) {
    return nlohmann::json::parse(std::string(R"({"voice": {"modules": [{"name": "l", "id": "SampleLoader3Gui",
                                                  "values": {"Filename": ")") +
                                 file + "\"}}]}}");
  };
  const MemoryEstimate named = estimatePatchMemory(patch("big.sf2"), 16, libraryDescriptions(), settings, files);
  EXPECT_GE(named.bytes, uint64_t{3} << 30);
  EXPECT_LT(named.bytes, uint64_t{4} << 30);
  EXPECT_NE(named.largest.find("big.sf2"), std::string::npos) << named.largest;
  const MemoryEstimate missing = estimatePatchMemory(patch("gone.sf2"), 16, libraryDescriptions(), settings, files);
  EXPECT_LT(missing.bytes, uint64_t{16} << 20);
}

TEST(MemoryEstimate, APatchBeyondTheLimitIsRefusedBeforeAnyModuleIsCreated) {
  nlohmann::json modules = nlohmann::json::array();
  for (int i = 0; i < 1000; ++i)
    modules.push_back({{"name", std::string("d").append(std::to_string(i))}, {"id", "ZV Delay v3"}});
  const PatchText text{"/patches/delays.json", "/patches", nlohmann::json{{"modules", modules}}.dump()};
  auto engine = makeEngine();
  // The message itself is checked through zvhost.
  EXPECT_THROW(buildPatch(text, *engine, libraryDescriptions(), 0, uint64_t{1} << 30), PatchError);
  EXPECT_EQ(engine->instanceCount(), 0);
}

}  // namespace
}  // namespace zvhost::testing
