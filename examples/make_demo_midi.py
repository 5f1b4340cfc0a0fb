#!/usr/bin/env python3
"""Writes demo.mid: a short polyphonic piece for the demo patch.

Format 1, 480 ticks per quarter note: a tempo track (with one tempo change),
a chord track and a melody track on another channel. Note-offs are written
as note-ons of velocity 0 under running status, as many sequencers do.
"""
import struct
import sys

TICKS = 480


def var(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def track(events):
    """events: (tick, bytes) in any order; returns an MTrk chunk."""
    events = sorted(events, key=lambda e: (e[0], e[1][0] & 0xF0 == 0x90 and e[1][2] > 0))
    data = bytearray()
    last = 0
    status = None
    for tick, message in events:
        data += var(tick - last)
        last = tick
        if message[0] < 0xF0 and message[0] == status:
            data += message[1:]
        else:
            data += message
            status = message[0] if message[0] < 0xF0 else None
    data += var(0) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(data)) + data


def notes(channel, items):
    out = []
    for start, length, note, velocity in items:
        out.append((start, bytes([0x90 | channel, note, velocity])))
        out.append((start + length, bytes([0x90 | channel, note, 0])))
    return out


def main(path):
    q = TICKS
    tempo = [
        (0, b"\xff\x51\x03" + (600000).to_bytes(3, "big")),      # 100 bpm
        (16 * q, b"\xff\x51\x03" + (500000).to_bytes(3, "big")),  # 120 bpm
    ]
    chords = [(45, 57, 60, 64), (41, 57, 60, 65), (43, 55, 59, 62), (40, 55, 59, 64)]
    pad = []
    for bar in range(6):
        chord = chords[bar % len(chords)]
        for i, note in enumerate(chord):
            pad.append((bar * 4 * q + i * 20, 4 * q - 60, note, 70 + 8 * i))
    melody_line = [69, 72, 76, 74, 72, 71, 72, 69, 65, 69, 72, 77, 76, 74, 72, 71,
                   67, 71, 74, 79, 76, 74, 72, 71]
    melody = [(i * q, q - 40 if i % 4 != 3 else 2 * q, n, 96 - (i % 4) * 6)
              for i, n in enumerate(melody_line)]
    chunks = [track(tempo), track(notes(0, pad)), track(notes(1, melody))]
    header = b"MThd" + struct.pack(">IHHH", 6, 1, len(chunks), TICKS)
    with open(path, "wb") as f:
        f.write(header + b"".join(chunks))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "demo.mid")
