#!/usr/bin/env python3
"""Writes the MIDI files of the host comparison: NOTES notes struck together
and held for SECONDS seconds on channel 1 after a program change, or no note
at all, the file still lasting SECONDS seconds.

usage: make_bench_midi.py OUT.mid NOTES [SECONDS] [PROGRAM]

Format 0, 480 ticks per quarter note at 120 bpm. The notes are spread
evenly from C2 over at least five octaves so that every key plays its own sample
zone, not one zone many times.
"""
import struct
import sys

TICKS = 480
TEMPO = 500000  # microseconds per quarter note: 120 bpm


def var(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.append(0x80 | (n & 0x7F))
        n >>= 7
    return bytes(reversed(out))


def keys(count):
    if count <= 1:
        return [60] * count
    span = max(60, count - 1)
    return [36 + round(i * span / (count - 1)) for i in range(count)]


def song(notes, seconds, program):
    end = int(round(seconds * 1e6 / TEMPO * TICKS))
    events = [(0, b"\xff\x51\x03" + TEMPO.to_bytes(3, "big")), (0, bytes([0xC0, program]))]
    if not 0 <= notes <= 92:
        raise SystemExit("NOTES: 0 to 92")
    chosen = keys(notes)
    events += [(0, bytes([0x90, k, 100])) for k in chosen]
    events += [(end, bytes([0x80, k, 0])) for k in chosen]
    data = bytearray()
    last = 0
    for tick, message in events:
        data += var(tick - last) + message
        last = tick
    data += var(end - last) + b"\xff\x2f\x00"
    track = b"MTrk" + struct.pack(">I", len(data)) + data
    return b"MThd" + struct.pack(">IHHH", 6, 0, 1, TICKS) + track


def main(argv):
    if len(argv) < 3:
        raise SystemExit(__doc__)
    notes = int(argv[2])
    seconds = float(argv[3]) if len(argv) > 3 else 60.0
    program = int(argv[4]) if len(argv) > 4 else 0
    with open(argv[1], "wb") as f:
        f.write(song(notes, seconds, program))


if __name__ == "__main__":
    main(sys.argv)
