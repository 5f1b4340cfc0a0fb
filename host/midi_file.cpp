#include "host/midi_file.h"

#include <algorithm>

#include "host/limits.h"

namespace zvhost {
namespace {

class Reader {
 public:
  Reader(const std::vector<uint8_t>& data, size_t begin, size_t end) : data_(data), position_(begin), end_(end) {}
  bool atEnd() const { return position_ >= end_; }
  size_t position() const { return position_; }
  uint8_t byte() {
    if (position_ >= end_) fail("unexpected end of data");
    return data_[position_++];
  }
  uint8_t peek() const {
    if (position_ >= end_) fail("unexpected end of data");
    return data_[position_];
  }
  uint32_t big(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | byte();
    return value;
  }
  // At most four bytes, as the format allows.
  uint32_t variable() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      uint8_t b = byte();
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) return value;
    }
    fail("variable-length number longer than four bytes");
  }
  void skip(uint32_t count) {
    if (count > end_ - position_) fail("length runs past the end of the track");
    position_ += count;
  }
  [[noreturn]] void fail(const std::string& problem) const {
    throw MidiError("byte " + std::to_string(position_) + ": " + problem);
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t position_;
  size_t end_;
};

struct RawEvent {
  uint64_t tick;
  uint32_t order;
  bool tempo;
  uint32_t microsecondsPerQuarter;
  MidiMessage message;
};

int dataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0: return 1;
    default: return 2;
  }
}

}  // namespace

MidiSong parseMidi(const std::vector<uint8_t>& data, size_t maxEvents) {
  Reader header(data, 0, data.size());
  if (data.size() < 14 || header.big(4) != 0x4D546864) throw MidiError("byte 0: not a standard MIDI file (no MThd)");
  uint32_t headerLength = header.big(4);
  if (headerLength < 6) header.fail("header shorter than 6 bytes");
  uint32_t format = header.big(2);
  uint32_t tracks = header.big(2);
  uint32_t division = header.big(2);
  if (format > 1) throw MidiError("format " + std::to_string(format) + " files are not supported (only 0 and 1)");
  if (division & 0x8000) throw MidiError("SMPTE time division is not supported");
  if (division == 0) throw MidiError("time division of 0 ticks per quarter note");
  header.skip(headerLength - 6);

  std::vector<RawEvent> events;
  // Other events only lengthen the song: their ticks are not kept.
  uint64_t lastTick = 0;
  uint32_t order = 0;
  size_t position = header.position();
  for (uint32_t track = 0; track < tracks; ++track) {
    Reader chunk(data, position, data.size());
    if (data.size() - position < 8) chunk.fail("track " + std::to_string(track) + " is missing");
    uint32_t id = chunk.big(4);
    uint32_t length = chunk.big(4);
    if (length > data.size() - chunk.position()) chunk.fail("track length runs past the end of the file");
    size_t begin = chunk.position();
    position = begin + length;
    if (id != 0x4D54726B) continue;  // unknown chunks are skipped
    Reader r(data, begin, begin + length);
    uint64_t tick = 0;
    uint8_t running = 0;
    while (!r.atEnd()) {
      if (events.size() > maxEvents)
        r.fail("more than " + std::to_string(maxEvents) + " messages and tempo changes, the most a song may hold");
      tick += r.variable();
      lastTick = std::max(lastTick, tick);
      uint8_t status = r.peek();
      if (status & 0x80) {
        r.byte();
      } else if (running == 0) {
        r.fail("data byte without a running status");
      } else {
        status = running;
      }
      if (status == 0xFF) {
        uint8_t type = r.byte();
        uint32_t size = r.variable();
        if (type == 0x2F) break;
        if (type == 0x51) {
          if (size != 3) r.fail("tempo event of " + std::to_string(size) + " bytes");
          uint32_t tempo = r.big(3);
          if (tempo == 0) r.fail("tempo of 0 microseconds per quarter note");
          events.push_back({tick, order++, true, tempo, {}});
        } else {
          r.skip(size);
        }
        running = 0;
      } else if (status == 0xF0) {
        // Kept whole when it ends in F7; a message split into packets
        // (continued by F7 events) is skipped with its continuations.
        const uint32_t size = r.variable();
        const size_t at = r.position();
        r.skip(size);
        if (size > 0 && data[at + size - 1] == 0xF7) {
          RawEvent e{tick, order++, false, 0, {}};
          e.message.sysex.reserve(size + 1);
          e.message.sysex.push_back(0xF0);
          e.message.sysex.insert(e.message.sysex.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                                 data.begin() + static_cast<std::ptrdiff_t>(at + size));
          events.push_back(std::move(e));
        }
        running = 0;
      } else if (status == 0xF7) {
        r.skip(r.variable());
        running = 0;
      } else if (status >= 0xF0) {
        r.fail("system message in a track");
      } else {
        running = status;
        RawEvent e{tick, order++, false, 0, {}};
        e.message.bytes[0] = status;
        e.message.size = static_cast<uint8_t>(1 + dataBytes(status));
        for (int k = 1; k < e.message.size; ++k) {
          uint8_t b = r.byte();
          if (b & 0x80) r.fail("status byte where a data byte belongs");
          e.message.bytes[k] = b;
        }
        events.push_back(e);
      }
    }
  }

  if (events.size() > maxEvents)
    throw MidiError("more than " + std::to_string(maxEvents) + " messages and tempo changes, the most a song may hold");
  // Tempo changes of any track apply to all (format 1 keeps them in track 0).
  std::stable_sort(events.begin(), events.end(), [](const RawEvent& a, const RawEvent& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });
  MidiSong song;
  song.messages.reserve(events.size());
  double seconds = 0.0;
  uint64_t tickDone = 0;
  double secondsPerTick = 0.5 / division;
  for (RawEvent& e : events) {
    seconds += static_cast<double>(e.tick - tickDone) * secondsPerTick;
    tickDone = e.tick;
    if (e.tempo) {
      secondsPerTick = e.microsecondsPerQuarter * 1e-6 / division;
      // A change at the time of the one before replaces it.
      if (song.tempos.back().seconds == seconds) song.tempos.pop_back();
      song.tempos.push_back({seconds, static_cast<double>(e.tick) / division, e.microsecondsPerQuarter});
    }
    if (e.message.size > 0 || !e.message.sysex.empty()) {
      MidiMessage& m = song.messages.emplace_back(std::move(e.message));
      m.seconds = seconds;
      m.order = e.order;
    }
  }
  song.lengthSeconds = seconds + static_cast<double>(lastTick - tickDone) * secondsPerTick;
  return song;
}

namespace {

const TempoChange& tempoAt(const MidiSong& song, double seconds) {
  static const TempoChange kDefault;
  const auto& tempos = song.tempos;
  if (tempos.empty()) return kDefault;
  auto after = std::upper_bound(tempos.begin(), tempos.end(), seconds,
                                [](double s, const TempoChange& c) { return s < c.seconds; });
  return after == tempos.begin() ? tempos.front() : *(after - 1);
}

}  // namespace

double songBeats(const MidiSong& song, double seconds) {
  const TempoChange& c = tempoAt(song, seconds);
  return c.beats + (seconds - c.seconds) * 1e6 / c.microsecondsPerQuarter;
}

double songTempo(const MidiSong& song, double seconds) { return 60e6 / tempoAt(song, seconds).microsecondsPerQuarter; }

MidiSong readMidiFile(const std::string& path) {
  std::string text;
  try {
    text = readRegularFile(path, kMaxMidiFileBytes, "MIDI file");
  } catch (const FileRefused& e) {
    throw MidiError(e.what());
  }
  return parseMidi(std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace zvhost
