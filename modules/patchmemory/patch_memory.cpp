#include "modules/patchmemory/patch_memory.h"

namespace {

using zv::patchmemory::Mirror;
using zv::patchmemory::MirrorLayout;
using enum zv::patchmemory::PinKind;

// Float, Int and Bool: value 0/7, name 1/6, menu items 2/9, menu selection
// 3/10, grab 4/11, normalised position 5/8.
constexpr Mirror kPlainMirrors[] = {{0, 7, true},  {1, 6, true},  {2, 9, true},
                                    {3, 10, true}, {4, 11, true}, {5, 8, true}};
constexpr MirrorLayout plainLayout(zv::patchmemory::PinKind value, std::span<const Mirror> mirrors) {
  return {{value, Text, Text, Int, Bool, Float, Text, value, Float, Text, Int, Bool}, mirrors};
}
constexpr MirrorLayout kFloatLayout = plainLayout(Float, kPlainMirrors);
constexpr MirrorLayout kIntLayout = plainLayout(Int, kPlainMirrors);
constexpr MirrorLayout kBoolLayout = plainLayout(Bool, kPlainMirrors);
constexpr MirrorLayout kInertLayout = plainLayout(Float, {});

// "Out" variants: value 0/6, name 1/5, menu items 2/9, menu selection 3/10;
// the normalised position only goes out, 4 to 8.
constexpr Mirror kOutMirrors[] = {{0, 6, true}, {1, 5, true}, {2, 9, true}, {3, 10, true}, {4, 8, false}};
constexpr MirrorLayout outLayout(zv::patchmemory::PinKind value) {
  return {{value, Text, Text, Int, Float, Text, value, None, Float, Text, Int, None}, kOutMirrors};
}
constexpr MirrorLayout kIntOutLayout = outLayout(Int);
constexpr MirrorLayout kBoolOutLayout = outLayout(Bool);
// Pin 7 is the value input of older patches: it is kept up to date and
// never read back.
constexpr Mirror kFloatOutMirrors[] = {{0, 6, true}, {0, 7, false}, {1, 5, true},
                                       {2, 9, true}, {3, 10, true}, {4, 8, false}};
constexpr MirrorLayout kFloatOutLayout{{Float, Text, Text, Int, Float, Text, Float, Float, Float, Text, Int, None},
                                       kFloatOutMirrors};
// Text Out has no normalised position; its description still declares pins
// 4 and 8, which nothing serves.
constexpr Mirror kTextOutMirrors[] = {{0, 6, true}, {1, 5, true}, {2, 9, true}, {3, 10, true}};
constexpr MirrorLayout kTextOutLayout{{Text, Text, Text, Int, None, Text, Text, None, None, Text, Int, None},
                                      kTextOutMirrors};

// Text and Blob: value 0/6, name 1/5, file extension 2/7, menu items 3/8,
// menu selection 4/9.
constexpr Mirror kTextMirrors[] = {{0, 6, true}, {1, 5, true}, {2, 7, true}, {3, 8, true}, {4, 9, true}};
constexpr MirrorLayout kTextLayout{{Text, Text, Text, Text, Int, Text, Text, Text, Text, Int, None, None},
                                   kTextMirrors};
constexpr MirrorLayout kBlobLayout{{Blob, Text, Text, Text, Int, Text, Blob, Text, Text, Int, None, None},
                                   kTextMirrors};

// Blob Out: value 0/5, name 1/4, menu items 2/6, menu selection 3/7.
constexpr Mirror kBlobOutMirrors[] = {{0, 5, true}, {1, 4, true}, {2, 6, true}, {3, 7, true}};
constexpr MirrorLayout kBlobOutLayout{{Blob, Text, Text, Int, Text, Blob, Text, Int, None, None, None, None},
                                      kBlobOutMirrors};

// List: value 0/7, name 1/6, item list 2/8, menu items 3/9, menu selection
// 4/10, grab 5/11.
constexpr Mirror kListMirrors[] = {{0, 7, true}, {1, 6, true},  {2, 8, true},
                                   {3, 9, true}, {4, 10, true}, {5, 11, true}};
constexpr MirrorLayout kListLayout{{Int, Text, Text, Text, Int, Bool, Text, Int, Text, Text, Int, Bool}, kListMirrors};

static_assert(isWellFormed(kFloatLayout) && isWellFormed(kIntLayout) && isWellFormed(kBoolLayout) &&
              isWellFormed(kInertLayout) && isWellFormed(kIntOutLayout) && isWellFormed(kBoolOutLayout) &&
              isWellFormed(kFloatOutLayout) && isWellFormed(kTextOutLayout) && isWellFormed(kTextLayout) &&
              isWellFormed(kBlobLayout) && isWellFormed(kBlobOutLayout) && isWellFormed(kListLayout));

}  // namespace

PatchMemoryFloatGui::PatchMemoryFloatGui(IMpUnknown* host) : MirrorGui(host, kFloatLayout) {}
PatchMemoryFloatOutGui::PatchMemoryFloatOutGui(IMpUnknown* host) : MirrorGui(host, kFloatOutLayout) {}
PatchMemoryIntGui::PatchMemoryIntGui(IMpUnknown* host) : MirrorGui(host, kIntLayout) {}
PatchMemoryIntOutGui::PatchMemoryIntOutGui(IMpUnknown* host) : MirrorGui(host, kIntOutLayout) {}
PatchMemoryBoolGui::PatchMemoryBoolGui(IMpUnknown* host) : MirrorGui(host, kBoolLayout) {}
PatchMemoryBoolOutGui::PatchMemoryBoolOutGui(IMpUnknown* host) : MirrorGui(host, kBoolOutLayout) {}
PatchMemoryTextGui::PatchMemoryTextGui(IMpUnknown* host) : MirrorGui(host, kTextLayout) {}
PatchMemoryTextOutGui::PatchMemoryTextOutGui(IMpUnknown* host) : MirrorGui(host, kTextOutLayout) {}
PatchMemoryListGui::PatchMemoryListGui(IMpUnknown* host) : MirrorGui(host, kListLayout) {}
PatchMemoryBlobGui::PatchMemoryBlobGui(IMpUnknown* host) : MirrorGui(host, kBlobLayout) {}
PatchMemoryBlobOutGui::PatchMemoryBlobOutGui(IMpUnknown* host) : MirrorGui(host, kBlobOutLayout) {}
PatchmemoryGui::PatchmemoryGui(IMpUnknown* host) : MirrorGui(host, kInertLayout) {}
