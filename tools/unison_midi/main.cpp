// unison_midi: writes the song of examples/unison.json, the demo's melody
// played on MIDI channels 1 and 2 at once with channel 2 twenty cents sharp.
//
// The sharpening is a single note tuning change (with bank) of the key just
// before channel 2's note, undone just before channel 1's. "SE Unison Fix"
// keeps one tuning per key and gives each note a key of its own, tuned as
// the note's key was when the note began; since a change with bank does not
// retune the keys it has already given out, the two notes keep the two
// pitches.
//
//   unison_midi OUT.mid
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kTicks = 480;  // per quarter note
// 20 cents in 1/16384 semitone.
constexpr uint32_t kDetune = 3277;

struct Event {
  uint32_t tick;
  int rank;  // order among events of one tick
  Bytes bytes;
};

void variable(Bytes& out, uint32_t n) {
  uint8_t groups[5];
  int count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(n & 0x7F);
    n >>= 7;
  } while (n != 0);
  while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

void big(Bytes& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes track(std::vector<Event> events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const Event& a, const Event& b) { return a.tick != b.tick ? a.tick < b.tick : a.rank < b.rank; });
  Bytes body;
  uint32_t last = 0;
  for (const Event& e : events) {
    variable(body, e.tick - last);
    last = e.tick;
    if (e.bytes[0] == 0xF0) {
      // A System Exclusive event: F0, its length, the rest of the message.
      body.push_back(0xF0);
      variable(body, static_cast<uint32_t>(e.bytes.size() - 1));
      body.insert(body.end(), e.bytes.begin() + 1, e.bytes.end());
    } else {
      body.insert(body.end(), e.bytes.begin(), e.bytes.end());
    }
  }
  body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
  Bytes out = {'M', 'T', 'r', 'k'};
  big(out, static_cast<uint32_t>(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Real-time single note tuning change with bank: bank 0, tuning program 0,
// every device.
Bytes tune(uint8_t key, uint32_t fraction) {
  return {0xF0,
          0x7F,
          0x7F,
          0x08,
          0x07,
          0x00,
          0x00,
          0x01,
          key,
          key,
          static_cast<uint8_t>(fraction >> 7),
          static_cast<uint8_t>(fraction & 0x7F),
          0xF7};
}

Bytes tempo(uint32_t microsecondsPerQuarter) {
  Bytes out = {0xFF, 0x51, 0x03};
  big(out, microsecondsPerQuarter, 3);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: unison_midi OUT.mid\n");
    return 2;
  }
  constexpr uint32_t q = kTicks;
  // The tempo map and melody of examples/demo.mid (examples/make_demo_midi.py).
  const std::vector<Event> tempos = {{0, 0, tempo(600000)}, {16 * q, 0, tempo(500000)}};
  const uint8_t melody[] = {69, 72, 76, 74, 72, 71, 72, 69, 65, 69, 72, 77,
                            76, 74, 72, 71, 67, 71, 74, 79, 76, 74, 72, 71};
  std::vector<Event> notes;
  for (uint32_t i = 0; i < sizeof melody; ++i) {
    const uint8_t key = melody[i];
    const uint32_t start = i * q;
    const uint32_t length = i % 4 != 3 ? q - 40 : 2 * q;
    const auto velocity = static_cast<uint8_t>(96 - (i % 4) * 6);
    // Notes ending at a tick end before those that start there.
    notes.push_back({start, 1, tune(key, kDetune)});
    notes.push_back({start, 2, {0x91, key, velocity}});
    notes.push_back({start, 3, tune(key, 0)});
    notes.push_back({start, 4, {0x90, key, velocity}});
    notes.push_back({start + length, 0, {0x81, key, 0}});
    notes.push_back({start + length, 0, {0x80, key, 0}});
  }
  Bytes file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2};
  big(file, kTicks, 2);
  for (const Bytes& chunk : {track(tempos), track(notes)}) file.insert(file.end(), chunk.begin(), chunk.end());
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "unison_midi: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
