#include "modules/effects/filter_tables.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "frame/shared_table.h"
#include "frame/wide_text.h"
#include "modules/dsp/portable_math.h"

namespace zv::effects {

namespace {

constexpr double kPi = std::numbers::pi;

// Last entries the modes can read (vmax × 10000 + 1).
constexpr int32_t kOk0LastRead = 9901;         // vmax 0.99
constexpr int32_t kOk0x2LastRead = 10541;      // corrected cutoff up to 1.054
constexpr int32_t kThreePoleLastRead = 10391;  // vmax 1.039, also the high-pass sections

double polyA(double a) { return 3.516399 * a - 0.52505 * a * a - 1.0; }
double polyH(double a) { return 1.8409 * a - 3.9364 * a * a + 0.9968; }
double polyG(double a) { return 1.873 * a * a * a + 0.4955 * a * a - 0.649 * a + 0.9988; }

double limitBelow(int32_t i, int32_t lastRead, double v, double hi) { return i <= lastRead ? std::min(v, hi) : v; }
double limitBetween(int32_t i, int32_t lastRead, double v, double lo, double hi) {
  return i <= lastRead ? std::clamp(v, lo, hi) : v;
}

// The three-pole curves: a pitch bent towards the top and a falling
// resonance scale.
struct ThreePolePoint {
  double fc;
  double r;
};
ThreePolePoint threePolePoint(int32_t i) {
  const double x = 0.001 * i - 0.4;
  const double y = std::clamp(x + (x - 9.1) * 0.093, 0.0, 10.0);
  return {440.0 * zv::dsp::exp2(y - 5.0), std::max(0.0, 0.102 * (20.8 - (2.0 * x - 7.8)))};
}

double voltEntry(int32_t i, double sr) {
  const auto f = pitchHz(i, 0.0);
  return std::clamp(static_cast<double>(2.0f * static_cast<float>(zv::dsp::sin(static_cast<float>(kPi * f / sr)))), 0.0,
                    2.0);
}
double dampingLimitEntry(int32_t i) {
  const double q = 0.0512 * i;
  return 0.1 * (q * (0.000025 * q + 0.009) + 7.8);
}

}  // namespace

double pitchHz(int32_t i, double octave) { return static_cast<float>(440.0 * zv::dsp::exp2(0.001 * i - 5.0 + octave)); }

namespace {

using zv::dsp::TableView;

// Tables filled together: a later table of a group reads an earlier one.
enum AllFiltersGroup { PITCH, TANH, STATE_VARIABLE, THREE_POLE, CASCADE, GROUP_COUNT };

template <class Tables>
struct TableSlot {
  const MpChar* name;
  int32_t entries;
  TableView Tables::*view;
  int32_t group;
};

constexpr TableSlot<AllFiltersTables> kAllFiltersSlots[] = {
    {MP_TEXT("ZV51_CS_ok0-pitch"), 10551, &AllFiltersTables::ok0, PITCH},
    {MP_TEXT("ZV51_CS_ok0_2-pitch"), 10551, &AllFiltersTables::ok0x2, PITCH},
    {MP_TEXT("ZV51_CS_os0-pitch"), 10551, &AllFiltersTables::os0, PITCH},
    {MP_TEXT("ZV51_CS_oslo-pitch"), 10551, &AllFiltersTables::oslo, PITCH},
    {MP_TEXT("ZV51_CS_oslo1-pitch"), 10551, &AllFiltersTables::oslo1, PITCH},
    {MP_TEXT("ZV51_CS_ohp-pitch"), 10551, &AllFiltersTables::ohp, PITCH},
    {MP_TEXT("ZV51_CS_osloo1-pitch"), 10551, &AllFiltersTables::osloo1, PITCH},
    {MP_TEXT("ZV51_CS_o_Tanh"), 20001, &AllFiltersTables::tanh, TANH},
    {MP_TEXT("ZV51_CS_SV-volt"), 10001, &AllFiltersTables::svVolt, STATE_VARIABLE},
    {MP_TEXT("ZV51_CS_SV-res"), 10001, &AllFiltersTables::svRes, STATE_VARIABLE},
    {MP_TEXT("ZV51_CS_ok0_18_b"), 10401, &AllFiltersTables::k18, THREE_POLE},
    {MP_TEXT("ZV51_CS_or0_18_b"), 10401, &AllFiltersTables::r18, THREE_POLE},
    {MP_TEXT("ZV51_CS_ok0_18_bo"), 10401, &AllFiltersTables::k18x2, THREE_POLE},
    {MP_TEXT("ZV51_CS_or0_18_bo"), 10401, &AllFiltersTables::r18x2, THREE_POLE},
    {MP_TEXT("ZV51_okacr"), 10501, &AllFiltersTables::acr, CASCADE},
    {MP_TEXT("ZV51_ok2vg"), 10501, &AllFiltersTables::g, CASCADE},
    {MP_TEXT("ZV51_okacro"), 10501, &AllFiltersTables::acrX2, CASCADE},
    {MP_TEXT("ZV51_ok2vgo"), 10501, &AllFiltersTables::gX2, CASCADE},
    {MP_TEXT("ZV51_okacro4"), 10501, &AllFiltersTables::acrX4, CASCADE},
    {MP_TEXT("ZV51_ok2vgo4"), 10501, &AllFiltersTables::gX4, CASCADE},
};

constexpr TableSlot<SvfTables> kSvfSlots[] = {
    {MP_TEXT("ZV51_SV2_volt"), 10001, &SvfTables::volt, 0},
    {MP_TEXT("ZV51_SV2_res"), 10001, &SvfTables::res, 0},
    {MP_TEXT("ZV51_SE_P6"), 10001, &SvfTables::p6, 0},
    {MP_TEXT("ZV51_SE_AP_COSA"), 10001, &SvfTables::apCos, 0},
    {MP_TEXT("ZV51_SE_AP_EXPA"), 10001, &SvfTables::apExpA, 0},
    {MP_TEXT("ZV51_SE_AP_EXPB"), 10001, &SvfTables::apExpB, 0},
};

template <class Tables, size_t N>
constexpr int32_t storageValues(const TableSlot<Tables> (&slots)[N]) {
  int32_t total = 0;
  for (const auto& slot : slots) total += slot.entries + 1;
  return total;
}

// The writable blocks behind a set of views, in slot order, and which
// groups must be filled.
template <class Tables, size_t N>
struct Blocks {
  const TableSlot<Tables> (&slots)[N];
  float* data[N] = {};
  bool fresh[GROUP_COUNT] = {};

  // Fills a table from fill(i) when its group is to be filled.
  template <class Fill>
  void fill(TableView Tables::*view, Fill f) const {
    for (size_t k = 0; k < N; ++k) {
      if (slots[k].view == view && fresh[slots[k].group]) zv::dsp::fillTable(data[k], slots[k].entries, f);
    }
  }
  // A group is filled only when all of its blocks exist: later tables read
  // earlier ones.
  void dropIncompleteGroups() {
    for (size_t k = 0; k < N; ++k) {
      if (data[k] == nullptr) fresh[slots[k].group] = false;
    }
  }
};

// Binds the views to the host's blocks; marks the groups with a new block.
template <class Tables, size_t N>
Blocks<Tables, N> openBlocks(const TableSlot<Tables> (&slots)[N], Tables& tables, IMpAudioHost* host,
                             float sampleRate) {
  Blocks<Tables, N> blocks{slots};
  for (size_t k = 0; k < N; ++k) {
    SharedTable table;
    if (table.open(host, slots[k].name, sampleRate, slots[k].entries)) blocks.fresh[slots[k].group] = true;
    blocks.data[k] = table.data();
    tables.*slots[k].view = TableView(table.data(), slots[k].entries);
  }
  blocks.dropIncompleteGroups();
  return blocks;
}

// Binds the views to consecutive stretches of the caller's storage.
template <class Tables, size_t N>
Blocks<Tables, N> storageBlocks(const TableSlot<Tables> (&slots)[N], Tables& tables, float* storage) {
  Blocks<Tables, N> blocks{slots};
  for (size_t k = 0; k < N; ++k) {
    blocks.data[k] = storage;
    tables.*slots[k].view = TableView(storage, slots[k].entries);
    storage += slots[k].entries + 1;
  }
  for (bool& f : blocks.fresh) f = true;
  return blocks;
}

template <class Tables, size_t N>
bool allOpen(const TableSlot<Tables> (&slots)[N], const Tables& tables) {
  for (const auto& slot : slots) {
    if (!(tables.*slot.view).isOpen()) return false;
  }
  return true;
}

template <size_t N>
void fillAllFilters(const Blocks<AllFiltersTables, N>& b, const AllFiltersTables& t, double sr) {
  using T = AllFiltersTables;
  b.fill(&T::ok0,
         [&](int32_t i) { return limitBelow(i, kOk0LastRead, polyA(2.0 * pitchHz(i, -0.152999) / sr), kLadderKMax); });
  b.fill(&T::ok0x2,
         [&](int32_t i) { return limitBelow(i, kOk0x2LastRead, polyA(pitchHz(i, -0.152999) / sr), kLadderKMax); });
  b.fill(&T::os0, [&](int32_t i) {
    const double x = (t.ok0[i] + 1.0) * 0.5;
    return zv::dsp::exp((1.449986 - x) * 1.229991) - 0.930001;
  });
  b.fill(&T::osloo1, [&](int32_t i) { return zv::dsp::exp(3.15 - 1.75 * (t.ok0[i] + 1.0) * 0.5); });
  b.fill(&T::oslo, [&](int32_t i) {
    const double x2 = (t.ok0x2[i] + 1.0) * 0.5;
    return zv::dsp::exp((x2 * 0.5 - 0.78) * -2.2) - 1.3;
  });
  b.fill(&T::oslo1, [&](int32_t i) { return zv::dsp::exp(3.15 - 1.75 * (t.ok0x2[i] + 1.0) * 0.5); });
  b.fill(&T::ohp, [&](int32_t i) {
    const double x = 2.0 * (sr * 0.5 - pitchHz(i, -0.152999)) / sr;
    return limitBetween(i, kThreePoleLastRead, 3.6 * x - 1.5999 * x * x - 1.0, kHighPassKMin, kHighPassKMax);
  });

  auto kOf = [&](int32_t i, double a) {
    return limitBelow(i, kThreePoleLastRead, 3.2 * a - 0.71 * a * a - 0.9987, kLadderKMax);
  };
  b.fill(&T::k18, [&](int32_t i) { return kOf(i, 2.0 * threePolePoint(i).fc / sr); });
  b.fill(&T::r18, [&](int32_t i) { return threePolePoint(i).r * zv::dsp::exp(3.15 - 1.75 * (t.k18[i] + 1.0) * 0.5); });
  b.fill(&T::k18x2, [&](int32_t i) { return kOf(i, threePolePoint(i).fc / sr); });
  b.fill(&T::r18x2,
         [&](int32_t i) { return threePolePoint(i).r * zv::dsp::exp(3.15 - 1.75 * (t.k18x2[i] + 1.0) * 0.5); });

  // Centred on entry 10000 so that the middle entry is exactly tanh(0) = 0.
  b.fill(&T::tanh, [](int32_t i) { return zv::dsp::tanh(0.0001 * (i - 10000)); });

  b.fill(&T::svVolt, [&](int32_t i) { return voltEntry(i, sr); });
  b.fill(&T::svRes, [](int32_t i) { return dampingLimitEntry(i); });

  auto gain = [](double fOverRate, double a) { return 1.0 - zv::dsp::exp(-2.0 * kPi * fOverRate * polyG(a)); };
  b.fill(&T::acr, [&](int32_t i) { return polyH(2.0 * pitchHz(i, 0.022) / sr); });
  b.fill(&T::g, [&](int32_t i) {
    const double f = pitchHz(i, 0.022);
    return gain(f / sr, 2.0 * f / sr);
  });
  b.fill(&T::acrX2, [&](int32_t i) { return polyH(pitchHz(i, 0.022) / sr); });
  b.fill(&T::gX2, [&](int32_t i) {
    const double f = pitchHz(i, 0.022);
    return gain(f / (2.0 * sr), f / sr);
  });
  b.fill(&T::acrX4, [&](int32_t i) { return polyH(pitchHz(i, 0.022) / (2.0 * sr)); });
  b.fill(&T::gX4, [&](int32_t i) {
    const double f = pitchHz(i, 0.022);
    return gain(f / (4.0 * sr), f / (2.0 * sr));
  });
}

template <size_t N>
void fillSvf(const Blocks<SvfTables, N>& b, double sr) {
  using T = SvfTables;
  b.fill(&T::volt, [&](int32_t i) { return voltEntry(i, sr); });
  b.fill(&T::res, [](int32_t i) { return dampingLimitEntry(i); });
  b.fill(&T::p6, [&](int32_t i) { return zv::dsp::exp(-2.0 * kPi * pitchHz(i, 0.0) / sr); });
  b.fill(&T::apCos, [&](int32_t i) { return 2.0 * zv::dsp::cos(2.0 * kPi * pitchHz(i, 0.0) / sr); });
  b.fill(&T::apExpA, [&](int32_t i) { return zv::dsp::exp(-kPi * pitchHz(i, 0.0) / sr); });
  b.fill(&T::apExpB, [&](int32_t i) { return zv::dsp::exp(-2.0 * kPi * pitchHz(i, 0.0) / sr); });
}

}  // namespace

const int32_t AllFiltersTables::kStorageValues = storageValues(kAllFiltersSlots);

void AllFiltersTables::open(IMpAudioHost* host, float sampleRate) {
  fillAllFilters(openBlocks(kAllFiltersSlots, *this, host, sampleRate), *this, sampleRate);
}

void AllFiltersTables::fillInto(float* storage, float sampleRate) {
  fillAllFilters(storageBlocks(kAllFiltersSlots, *this, storage), *this, sampleRate);
}

bool AllFiltersTables::complete() const { return allOpen(kAllFiltersSlots, *this); }

const int32_t SvfTables::kStorageValues = storageValues(kSvfSlots);

void SvfTables::open(IMpAudioHost* host, float sampleRate) {
  fillSvf(openBlocks(kSvfSlots, *this, host, sampleRate), sampleRate);
}

void SvfTables::fillInto(float* storage, float sampleRate) {
  fillSvf(storageBlocks(kSvfSlots, *this, storage), sampleRate);
}

bool SvfTables::complete() const { return allOpen(kSvfSlots, *this); }

}  // namespace zv::effects
