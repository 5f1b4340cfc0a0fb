// Stand-in for the sound-file library in the Windows build of the render
// driver, which hashes samples and never writes a WAV file: opening a file
// fails with a message that says so.
#pragma once

#include <cstdint>

struct SNDFILE;
using sf_count_t = int64_t;

struct SF_INFO {
  sf_count_t frames;
  int samplerate;
  int channels;
  int format;
  int sections;
  int seekable;
};

enum {
  SF_FORMAT_WAV = 0x010000,
  SF_FORMAT_PCM_16 = 0x0002,
  SF_FORMAT_PCM_24 = 0x0003,
  SF_FORMAT_FLOAT = 0x0006,
  SFM_WRITE = 0x20,
  SFC_SET_CLIPPING = 0x10C0,
  SFC_SET_ADD_PEAK_CHUNK = 0x1050,
  SF_FALSE = 0,
  SF_TRUE = 1,
};

inline SNDFILE* sf_open(const char*, int, SF_INFO*) { return nullptr; }
inline const char* sf_strerror(SNDFILE*) { return "this build writes no sound files"; }
inline int sf_command(SNDFILE*, int, void*, int) { return 0; }
inline sf_count_t sf_writef_float(SNDFILE*, const float*, sf_count_t) { return 0; }
inline sf_count_t sf_writef_short(SNDFILE*, const short*, sf_count_t) { return 0; }
inline int sf_close(SNDFILE*) { return 0; }
