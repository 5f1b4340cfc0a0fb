#include "modules/gui/db_to_animation_gui.h"

#include "modules/dsp/math.h"

float dbToAnimationPosition(float db) {
  float p;
  if (db >= -3.0f) {
    p = (db + 3.0f) * 0.1f + 0.4f;
  } else if (db >= -8.75f) {
    p = (db + 7.0f) * 0.05f + 0.2f;
  } else {
    p = (db + 20.0f) * 0.01f;
  }
  return zv::dsp::clampTo(p, 0.0f, 1.0f);
}

DbToAnimationGui::DbToAnimationGui(IMpUnknown* host) : MpGuiBase(host) {
  position_.initialize(this, ANIMATION_POSITION);
  db_.initialize(this, DB, &DbToAnimationGui::onDb);
}

void DbToAnimationGui::onDb() { position_ = dbToAnimationPosition(db_.getValue()); }
