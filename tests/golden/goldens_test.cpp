#include "tests/golden/goldens.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace zv::golden;

TEST(GoldenHash, FnvMatchesPublishedVectors) {
  EXPECT_EQ(fnv1a("", 0), 0xcbf29ce484222325ull);
  EXPECT_EQ(fnv1a("a", 1), 0xaf63dc4c8601ec8cull);
  EXPECT_EQ(fnv1a("foobar", 6), 0x85944171f73967e8ull);
}

TEST(GoldenHash, SamplesHashAsTheirWavBytes) {
  // 1.0f is 0x3F800000 and -2.0f is 0xC0000000; left before right.
  const float left[] = {1.0f, 0.0f};
  const float right[] = {-2.0f, 1.0f};
  const uint8_t bytes[] = {0, 0, 0x80, 0x3F, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x80, 0x3F};
  SampleHash h;
  h.addStereo(left, right, 1);
  h.addStereo(left + 1, right + 1, 1);
  EXPECT_EQ(h.value(), fnv1a(bytes, sizeof bytes));
}

TEST(GoldenHash, HexRoundTripsAndRefusesOtherText) {
  EXPECT_EQ(toHex(0x0123456789abcdefull), "0123456789abcdef");
  EXPECT_EQ(fromHex("0123456789abcdef"), 0x0123456789abcdefull);
  for (const char* bad : {"", "0123456789abcde", "0123456789ABCDEF", "0123456789abcdeg", "0123456789abcdef0"})
    EXPECT_FALSE(fromHex(bad).has_value()) << bad;
}

void put(std::vector<uint8_t>& out, const char* tag, std::vector<uint8_t> body) {
  out.insert(out.end(), tag, tag + 4);
  const auto n = static_cast<uint32_t>(body.size());
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(n >> (8 * i)));
  out.insert(out.end(), body.begin(), body.end());
  if (n & 1) out.push_back(0);
}

std::vector<uint8_t> wav(uint16_t format, uint16_t channels, uint16_t bits, std::vector<uint8_t> data,
                         bool oddChunkFirst = false) {
  std::vector<uint8_t> chunks;
  if (oddChunkFirst) put(chunks, "LIST", {1, 2, 3});
  put(chunks, "fmt ",
      {static_cast<uint8_t>(format), static_cast<uint8_t>(format >> 8), static_cast<uint8_t>(channels), 0, 0x80, 0xBB,
       0, 0, 0, 0, 0, 0, 8, 0, static_cast<uint8_t>(bits), 0});
  put(chunks, "fact", {4, 0, 0, 0});
  put(chunks, "data", data);
  const char head[] = "RIFF\0\0\0\0WAVE";
  std::vector<uint8_t> file(head, head + 12);
  file.resize(12 + chunks.size());
  std::copy(chunks.begin(), chunks.end(), file.begin() + 12);
  return file;
}

TEST(GoldenHash, FindsTheSampleDataOfFloatStereoWavFilesOnly) {
  const std::vector<uint8_t> samples = {1, 2, 3, 4, 5, 6, 7, 8};
  for (bool odd : {false, true}) {
    const auto file = wav(3, 2, 32, samples, odd);
    const auto data = floatStereoWavData(file);
    ASSERT_TRUE(data.has_value()) << odd;
    EXPECT_EQ(std::vector<uint8_t>(data->data, data->data + data->size), samples);
  }
  EXPECT_FALSE(floatStereoWavData(wav(1, 2, 16, samples)).has_value());  // PCM
  EXPECT_FALSE(floatStereoWavData(wav(3, 1, 32, samples)).has_value());  // mono
  auto cut = wav(3, 2, 32, samples);
  cut.resize(cut.size() - 1);  // data chunk runs past the end
  EXPECT_FALSE(floatStereoWavData(cut).has_value());
  EXPECT_FALSE(floatStereoWavData({'R', 'I', 'F', 'F'}).has_value());
}

TEST(GoldenHash, GoldenFileKeepsCommentsAndReplacesEntries) {
  const auto path =
      (std::filesystem::temp_directory_path() /
       ("zv_goldens_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".txt"))
          .string();
  {
    std::ofstream out(path);
    out << "# how to update\n\ndemo.wav 00000000000000ff\nbroken line\n";
  }
  GoldenFile file(path);
  EXPECT_EQ(file.find("demo.wav"), 0xffull);
  EXPECT_FALSE(file.find("broken").has_value());
  EXPECT_FALSE(file.find("other.wav").has_value());
  file.set("demo.wav", 1);
  file.set("other.wav", 2);
  file.save();

  std::ifstream in(path);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "# how to update\n\ndemo.wav 0000000000000001\nbroken line\nother.wav 0000000000000002\n");
  std::remove(path.c_str());
}

}  // namespace
