#!/usr/bin/env python3
"""Renders the same MIDI files with FluidSynth and with zvhost and prints the
CPU seconds of each (user + system, the median of a few runs) and their ratio.

usage: compare_fluidsynth.py [--zvhost PATH] [--fluidsynth PATH] [--bank FILE.sf2]
                             [--runs N] [--program P] [--seconds S] [--notes 16,64,0]
                             [--interpolations none,linear,4-point,8-point] [--memory FILE.sf2]

The MIDI files hold 16 and 64 notes struck together and held, and no note at
all (make_bench_midi.py). zvhost renders exactly as many frames as
FluidSynth writes for each file, through two patches written
here: "bare" (a sample loader and, per voice, a SoundFont oscillator) and
"enveloped" (per voice a SoundFont oscillator, an envelope and two modulation
mixers, as examples/soundfont.json), 160 voices each, at every interpolation
that both programs have. Both render 48 kHz stereo to a 16-bit file without
reverb or chorus; FluidSynth on one core. The program defaults to a church
organ: its notes sound at full level for as long as they are held in both
programs, so both do the same work throughout.

With both 64 and 0 notes asked for, the share of the silent render in the
64-note one is then measured per interpolation from the two renders run in
turn, the median of the pairs' ratios.

--memory FILE.sf2 also loads that bank into both programs with a MIDI file
of no notes and prints each one's peak resident memory beside the size of
the bank's sample data.

FluidSynth is a Debian package (fluidsynth); the banks come from
timgm6mb-soundfont and fluid-soundfont-gm. None of them is needed to build or
test zvmods.
"""
import argparse
import json
import os
import statistics
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_bench_midi  # noqa: E402

RATE = 48000
VOICES = 160
# (name, FluidSynth "interp" setting, zvhost Interpolation pin value)
INTERPOLATIONS = [("none", 0, 0), ("linear", 1, 1), ("4-point", 4, 4), ("8-point", 7, 8)]


def patch(kind, bank, program, interpolation):
    loader = {"name": "loader", "id": "SampleLoader3Gui",
              "values": {"Filename": bank, "Bank": 0, "Preset": program}}
    sampler = {"name": "sampler", "id": "SampleOscillator3", "values": {"Interpolation": interpolation}}
    connections = [["loader:Handle Out", "sampler:Bank Handle"], ["voice:pitch", "sampler:Pitch"],
                   ["voice:trigger", "sampler:Trigger"], ["voice:gate", "sampler:Gate"],
                   ["voice:velocity", "sampler:Velocity"]]
    modules = [sampler]
    if kind == "bare":
        connections += [["sampler:Left", "output:left"], ["sampler:Right", "output:right"]]
    else:
        modules += [{"name": "env", "id": "ZV51MODS ZV-ADSR D",
                     "values": {"Attack": 0.1, "Decay": 0.7, "Sustain": 0.8, "Release": 0.7, "Timing mode": 1}},
                    {"name": "ampL", "id": "ZV MixM", "values": {"Blend": 0.5, "On": 1}},
                    {"name": "ampR", "id": "ZV MixM", "values": {"Blend": 0.5, "On": 1}}]
        connections += [["voice:active", "env:Active"], ["voice:velocity", "env:Level"],
                        ["voice:trigger", "env:Trigger"], ["voice:gate", "env:Gate"],
                        ["sampler:Left", "ampL:Signal"], ["sampler:Right", "ampR:Signal"],
                        ["env:Envelope out", "ampL:Modulator"], ["env:Envelope out", "ampR:Modulator"],
                        ["ampL:Output", "output:left"], ["ampR:Output", "output:right"]]
    return {"voices": VOICES, "voiceRelease": 1.0, "modules": [loader],
            "voice": {"modules": modules, "connections": connections}}


def run(command):
    """CPU seconds (user + system) and peak resident MiB of one run."""
    with tempfile.TemporaryFile() as error:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=error)
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
        if process.returncode != 0:
            error.seek(0)
            raise SystemExit(f"failed ({process.returncode}): {' '.join(command)}\n" +
                             error.read().decode(errors="replace"))
    return usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def sample_data_bytes(bank):
    """Size of the "smpl" chunk of a SoundFont 2 bank (its 16-bit samples).
    Reads chunk headers only: a child's peak memory counts this process's
    at the fork, so the bank must not pass through it."""
    with open(bank, "rb") as f:
        end = os.fstat(f.fileno()).st_size
        position = 12
        while position + 8 <= end:
            f.seek(position)
            ident, size = struct.unpack("<4sI", f.read(8))
            if ident == b"LIST" and f.read(4) == b"sdta":
                inner = position + 12
                while inner + 8 <= position + 8 + size:
                    f.seek(inner)
                    child, length = struct.unpack("<4sI", f.read(8))
                    if child == b"smpl":
                        return length
                    inner += 8 + length + (length & 1)
            position += 8 + size + (size & 1)
    return 0


class Bench:
    def __init__(self, args, folder):
        self.args = args
        self.folder = folder

    def fluid(self, midi, interp, out):
        config = os.path.join(self.folder, f"interp{interp}.cfg")
        with open(config, "w") as f:
            f.write(f"interp {interp}\n")
        return [self.args.fluidsynth, "-q", "-ni", "-f", config, "-F", out, "-r", str(RATE), "-R", "0", "-C", "0",
                "-o", "synth.cpu-cores=1", self.args.bank, midi]

    def zvhost(self, kind, interpolation, midi, seconds, out, bank=None):
        path = os.path.join(self.folder, f"{kind}-{interpolation}.json")
        with open(path, "w") as f:
            json.dump(patch(kind, bank or self.args.bank, self.args.program, interpolation), f)
        return [self.args.zvhost, "render", path, "--midi", midi, "--seconds", repr(seconds), "--bits", "16",
                "--quiet", "-o", out]

    def median_pair(self, a, b):
        """Median CPU seconds of a and b, run in turn, and the median ratio a/b."""
        times_a, times_b, ratios = [], [], []
        for _ in range(self.args.runs):
            ta = run(a)[0]
            tb = run(b)[0]
            times_a.append(ta)
            times_b.append(tb)
            ratios.append(ta / tb if tb > 0 else float("inf"))
        return statistics.median(times_a), statistics.median(times_b), statistics.median(ratios)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--zvhost", default=os.path.join(HERE, "..", "build", "release", "bin", "zvhost"))
    parser.add_argument("--fluidsynth", default="fluidsynth")
    parser.add_argument("--bank", default="/usr/share/sounds/sf2/TimGM6mb.sf2")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--program", type=int, default=19)
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--notes", default="16,64,0", help="note counts, comma-separated")
    parser.add_argument("--interpolations", default=",".join(name for name, _, _ in INTERPOLATIONS))
    parser.add_argument("--memory", default="", help="a bank whose loading is measured")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory(prefix="zvbench") as folder:
        bench = Bench(args, folder)
        out = os.path.join(folder, "out")
        wanted = args.interpolations.split(",")
        print(f"{'notes':>5} {'interpolation':<13} {'FluidSynth s':>12} {'bare s':>8} {'enveloped s':>11}"
              f" {'bare/FS':>8} {'env/FS':>8}")
        midis = {}
        for notes in (int(n) for n in args.notes.split(",")):
            midi = os.path.join(folder, f"notes{notes}.mid")
            midis[notes] = midi
            with open(midi, "wb") as f:
                f.write(make_bench_midi.song(notes, args.seconds, args.program))
            for name, interp, pin in INTERPOLATIONS:
                if name not in wanted:
                    continue
                fluid = bench.fluid(midi, interp, out + ".raw")
                run(fluid)
                # zvhost renders exactly as many frames as FluidSynth wrote.
                seconds = os.path.getsize(out + ".raw") / 4 / RATE
                bare_s, fluid_s, bare_ratio = bench.median_pair(
                    bench.zvhost("bare", pin, midi, seconds, out + ".wav"), fluid)
                env_s, _, env_ratio = bench.median_pair(
                    bench.zvhost("enveloped", pin, midi, seconds, out + ".wav"), fluid)
                print(f"{notes:>5} {name:<13} {fluid_s:>12.3f} {bare_s:>8.3f} {env_s:>11.3f}"
                      f" {bare_ratio:>8.2f} {env_ratio:>8.2f}", flush=True)
        # The share of the silent render, from the two renders run in turn:
        # measured minutes apart, a drift of the machine's speed would count.
        if 0 in midis and 64 in midis:
            seconds = args.seconds
            for name, _, pin in INTERPOLATIONS:
                if name not in wanted:
                    continue
                _, _, share = bench.median_pair(bench.zvhost("enveloped", pin, midis[0], seconds, out + "-0.wav"),
                                                bench.zvhost("enveloped", pin, midis[64], seconds, out + "-64.wav"))
                print(f"no notes / 64 notes, enveloped, {name}: {100.0 * share:.1f} % (run in turn)")

        if args.memory:
            midi = os.path.join(folder, "empty.mid")
            with open(midi, "wb") as f:
                f.write(make_bench_midi.song(0, 1.0, 0))
            samples = sample_data_bytes(args.memory) / 2**20
            saved = args.bank
            args.bank = args.memory
            peaks = {"FluidSynth": [], "zvhost": []}
            for _ in range(args.runs):
                peaks["FluidSynth"].append(run(bench.fluid(midi, 1, out + ".raw"))[1])
                peaks["zvhost"].append(run(bench.zvhost("bare", 1, midi, 1.0, out + ".wav", args.memory))[1])
            args.bank = saved
            print(f"{os.path.basename(args.memory)}: sample data {samples:.1f} MiB")
            for who, values in peaks.items():
                peak = statistics.median(values)
                print(f"  {who:<10} peak resident {peak:.1f} MiB ({peak / samples:.2f} x the sample data)")


if __name__ == "__main__":
    main()
