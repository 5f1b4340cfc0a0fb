#include "modules/effects/all_filters.h"

#include "modules/dsp/math.h"

using namespace zv::effects;
using zv::dsp::SvfTap;

static_assert(AllFilters::MIX == static_cast<int32_t>(FilterShell<AllFiltersKernel>::MIX), "shared pins first");

const AllFilters::Routine AllFilters::kRoutines[kModeCount] = {
    &AllFilters::subProcess<LadderCubic2x>,                  // 0
    &AllFilters::subProcess<Ladder>,                         // 1
    &AllFilters::subProcess<LadderTanh2x>,                   // 2
    &AllFilters::subProcess<Cascade>,                        // 3
    &AllFilters::subProcess<CascadeTanh4x<false>>,           // 4
    &AllFilters::subProcess<CascadeBlended2x>,               // 5
    &AllFilters::subProcess<ThreePole2x<false>>,             // 6
    &AllFilters::subProcess<DualLadder<false>>,              // 7
    &AllFilters::subProcess<DualLadder<true>>,               // 8
    &AllFilters::subProcess<LadderScaledInput>,              // 9
    &AllFilters::subProcess<ThreePole<Tap::Y3, 0, false>>,   // 10
    &AllFilters::subProcess<ThreePole<Tap::Y3, 4, false>>,   // 11
    &AllFilters::subProcess<ThreePole<Tap::Y3, 3, false>>,   // 12
    &AllFilters::subProcess<ThreePole<Tap::Y2, 0, true>>,    // 13
    &AllFilters::subProcess<ThreePole<Tap::Y2, 4, true>>,    // 14
    &AllFilters::subProcess<ThreePole<Tap::Y2, 3, true>>,    // 15
    &AllFilters::subProcess<ThreePole<Tap::Y1, 0, true>>,    // 16
    &AllFilters::subProcess<ThreePole<Tap::Y1, 4, true>>,    // 17
    &AllFilters::subProcess<ThreePole<Tap::Y1, 3, true>>,    // 18
    &AllFilters::subProcess<ThreePole<Tap::Raw, 4, false>>,  // 19
    &AllFilters::subProcessBypass,                           // 20
    &AllFilters::subProcess<CascadeTanh4x<true>>,            // 21
    &AllFilters::subProcess<ThreePole2x<true>>,              // 22
    &AllFilters::subProcess<DampedPair<SvfTap::Low>>,        // 23
    &AllFilters::subProcess<DampedPair<SvfTap::High>>,       // 24
    &AllFilters::subProcess<DampedPair<SvfTap::Band>>,       // 25
    &AllFilters::subProcess<DampedPair<SvfTap::Notch>>,      // 26
    &AllFilters::subProcess<SingleSection<SvfTap::Low>>,     // 27
    &AllFilters::subProcess<SingleSection<SvfTap::High>>,    // 28
    &AllFilters::subProcess<SingleSection<SvfTap::Band>>,    // 29
    &AllFilters::subProcess<DrivenPair<SvfTap::Low>>,        // 30
    &AllFilters::subProcess<DrivenPair<SvfTap::High>>,       // 31
    &AllFilters::subProcess<DrivenPair<SvfTap::Band>>,       // 32
    &AllFilters::subProcess<NotchPair>,                      // 33
    &AllFilters::subProcess<TunedLadder2x<true>>,            // 34
    &AllFilters::subProcess<TunedLadder2x<false>>,           // 35
};

AllFilters::AllFilters(IMpUnknown* host) : FilterShell(host) { registerPin(RESET, reset_); }

int32_t AllFilters::openModule() {
  const float rate = zv::dsp::usableSampleRate(hostSampleRate());
  tables_.open(host(), rate);
  tuning_.set(rate);
  context_.tables = &tables_;
  context_.tuning = &tuning_;
  context_.tanh = zv::dsp::TanhTable(tables_.tanh.data());
  openShell();
  return MpBase::openModule();
}

void AllFilters::pinsUpdated() { chooseRoutine(tables_.complete(), kRoutines); }
