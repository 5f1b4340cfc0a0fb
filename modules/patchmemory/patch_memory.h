// The "SE PatchMemory" family: modules that bind one host parameter (stored
// with each patch and preset) to the patch.
//
// Plain variants bring the parameter's value into the patch; "Out" variants
// write a value from the patch into the parameter through a private output.
// Which pin is bound to which parameter field is said by the description
// texts; in code every variant is the same machinery: the audio side passes
// pin 0 on to pin 1, the GUI side mirrors each parameter-bound pin onto a
// plain pin and back (zv::patchmemory::MirrorGui with the module's table).
#pragma once

#include "frame/mp_base.h"
#include "frame/pins.h"
#include "modules/patchmemory/mirror_gui.h"

namespace zv::patchmemory {

// Sends pin 0's value on pin 1 when it differs from what pin 1 holds.
template <class T, MpDatatype InCode, MpDatatype OutCode>
class PassThrough : public MpBase {
 public:
  enum Pin { VALUE_IN, VALUE_OUT };

  explicit PassThrough(IMpUnknown* host) : MpBase(host) {
    registerPin(VALUE_IN, in_);
    registerPin(VALUE_OUT, out_);
  }
  // The output compares with mpSameValue: a repeated NaN is no change.
  void pinsUpdated() override {
    if (in_.isUpdated()) out_.setValue(in_.getValue());
  }

 private:
  MpControlPin<T, MP_PIN_IN, InCode> in_;
  MpControlPin<T, MP_PIN_OUT, OutCode> out_;
};

}  // namespace zv::patchmemory

// Audio sides; the "Out" identifiers share the class of their plain variant.
class PatchMemoryFloat final : public zv::patchmemory::PassThrough<float, MP_DT_FLOAT, MP_DT_FLOAT> {
 public:
  using PassThrough::PassThrough;
};
class PatchMemoryInt final : public zv::patchmemory::PassThrough<int32_t, MP_DT_INT, MP_DT_INT> {
 public:
  using PassThrough::PassThrough;
};
class PatchMemoryBool final : public zv::patchmemory::PassThrough<bool, MP_DT_BOOL, MP_DT_BOOL> {
 public:
  using PassThrough::PassThrough;
};
class PatchMemoryText final : public zv::patchmemory::PassThrough<MpString, MP_DT_TEXT, MP_DT_TEXT> {
 public:
  using PassThrough::PassThrough;
};
// An int in, a list choice out.
class PatchMemoryList final : public zv::patchmemory::PassThrough<int32_t, MP_DT_INT, MP_DT_ENUM> {
 public:
  using PassThrough::PassThrough;
};
class PatchMemoryBlob final : public zv::patchmemory::PassThrough<MpBlob, MP_DT_BLOB, MP_DT_BLOB> {
 public:
  using PassThrough::PassThrough;
};

// GUI sides: each is MirrorGui with its own table (patch_memory.cpp).
class PatchMemoryFloatGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryFloatGui(IMpUnknown* host);
};
class PatchMemoryFloatOutGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryFloatOutGui(IMpUnknown* host);
};
class PatchMemoryIntGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryIntGui(IMpUnknown* host);
};
class PatchMemoryIntOutGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryIntOutGui(IMpUnknown* host);
};
class PatchMemoryBoolGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryBoolGui(IMpUnknown* host);
};
class PatchMemoryBoolOutGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryBoolOutGui(IMpUnknown* host);
};
class PatchMemoryTextGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryTextGui(IMpUnknown* host);
};
class PatchMemoryTextOutGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryTextOutGui(IMpUnknown* host);
};
class PatchMemoryListGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryListGui(IMpUnknown* host);
};
class PatchMemoryBlobGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryBlobGui(IMpUnknown* host);
};
class PatchMemoryBlobOutGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchMemoryBlobOutGui(IMpUnknown* host);
};
// "SE PatchMemory": the float pins and no mirrors; it never sends anything.
class PatchmemoryGui final : public zv::patchmemory::MirrorGui {
 public:
  explicit PatchmemoryGui(IMpUnknown* host);
};
