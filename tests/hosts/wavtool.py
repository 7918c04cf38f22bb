#!/usr/bin/env python3
"""Measurements of WAV files written by hosts (talvex-render, LMMS, Ardour).

  wavtool.py level FILE [--min-peak-db DB]
      prints frames, peak and RMS in dBFS; fails when the peak lies below
      DB (-60 by default), which is how a silent render shows.
  wavtool.py pitch FILE --expect HZ [--start S | --at S] [--length S] [--cents C]
      estimates the fundamental of the first channel in a window that begins
      S seconds after the first sound (--start, 0.1) or S seconds into the
      file (--at), and fails when it is more than C cents (30) from HZ.
  wavtool.py compare A B [--aligned] [--first-channel] [--max-diff X] [--max-level-db DB]
      compares two files (or only their first channels) sample by sample
      after dropping leading silence of
      each (hosts start a render at different offsets; --aligned keeps it and
      requires equal lengths: the same renderer on two platforms); fails when
      the largest difference exceeds X (0: identical samples), or, with
      --max-level-db, when the RMS levels differ by more than DB.
  wavtool.py change FILE --before S --after S [--length S] [--min-change R]
      measures the level and the spectral centroid of the mono mix in two
      windows of LENGTH (1.0) seconds starting at the two times (a negative
      time counts from the end); fails when either is silent (below -40 dB
      RMS) or the centroid moved by less than the ratio R (0.25) of the first.
"""
import argparse
import math
import struct
import sys


def read_wav(path):
    """Returns (sample rate, channels, list of frames as lists of floats)."""
    data = open(path, 'rb').read()
    if data[:4] != b'RIFF' or data[8:12] != b'WAVE':
        raise SystemExit(f'{path}: not a WAV file')
    pos, fmt, body = 12, None, None
    while pos + 8 <= len(data):
        tag = data[pos:pos + 4]
        length = struct.unpack('<I', data[pos + 4:pos + 8])[0]
        chunk = data[pos + 8:pos + 8 + length]
        if tag == b'fmt ':
            fmt = chunk
        elif tag == b'data':
            body = chunk
            break
        pos += 8 + length + (length & 1)
    if fmt is None or body is None:
        raise SystemExit(f'{path}: no fmt or data chunk')
    tag, channels, rate = struct.unpack('<HHI', fmt[:8])
    bits = struct.unpack('<H', fmt[14:16])[0]
    if tag == 0xFFFE:  # WAVE_FORMAT_EXTENSIBLE: the sub-format's first word
        tag = struct.unpack('<H', fmt[24:26])[0]
    width = bits // 8
    count = len(body) // width
    if tag == 3 and bits == 32:
        values = struct.unpack(f'<{count}f', body[:count * 4])
    elif tag == 3 and bits == 64:
        values = struct.unpack(f'<{count}d', body[:count * 8])
    elif tag == 1 and bits == 16:
        values = [v / 32768.0 for v in struct.unpack(f'<{count}h', body[:count * 2])]
    elif tag == 1 and bits == 32:
        values = [v / 2147483648.0 for v in struct.unpack(f'<{count}i', body[:count * 4])]
    elif tag == 1 and bits == 24:
        values = []
        for i in range(count):
            b = body[3 * i:3 * i + 3]
            v = int.from_bytes(b, 'little', signed=True)
            values.append(v / 8388608.0)
    else:
        raise SystemExit(f'{path}: unsupported format tag {tag}, {bits} bits')
    frames = [list(values[i:i + channels]) for i in range(0, len(values) - channels + 1, channels)]
    return rate, channels, frames


def db(x):
    return 20 * math.log10(x) if x > 0 else -math.inf


def level(frames):
    peak, square = 0.0, 0.0
    n = 0
    for f in frames:
        for v in f:
            peak = max(peak, abs(v))
            square += v * v
            n += 1
    return peak, math.sqrt(square / n) if n else 0.0


def first_sound(frames, threshold=1e-4):
    for i, f in enumerate(frames):
        if any(abs(v) > threshold for v in f):
            return i
    return len(frames)


def fundamental(signal, rate, low_hz=40.0, high_hz=2000.0):
    """YIN: the first lag whose cumulative-mean-normalised difference dips
    below 0.15 (else the deepest), refined by parabolic interpolation."""
    min_lag = int(rate / high_hz)
    max_lag = int(rate / low_hz)
    window = len(signal) - max_lag - 2
    if window < max_lag:
        raise SystemExit('window too short for the pitch estimate')
    d = [0.0] * (max_lag + 2)
    for lag in range(1, max_lag + 2):
        s = 0.0
        for i in range(window):
            e = signal[i] - signal[i + lag]
            s += e * e
        d[lag] = s
    cmnd = [1.0] * (max_lag + 2)
    running = 0.0
    for lag in range(1, max_lag + 2):
        running += d[lag]
        cmnd[lag] = d[lag] * lag / running if running > 0 else 1.0
    best = None
    for lag in range(max(min_lag, 2), max_lag + 1):
        if cmnd[lag] < 0.15 and cmnd[lag] <= cmnd[lag + 1]:
            best = lag
            break
    if best is None:
        best = min(range(max(min_lag, 2), max_lag + 1), key=lambda k: cmnd[k])
    a, b, c = cmnd[best - 1], cmnd[best], cmnd[best + 1]
    denom = a - 2 * b + c
    shift = 0.5 * (a - c) / denom if denom != 0 else 0.0
    return rate / (best + shift)


def centroid(signal, rate, n=2048, top_hz=5000.0):
    """Spectral centroid up to top_hz, from Hann-windowed DFTs of n frames
    at up to six places spread over the signal."""
    starts = list(range(0, len(signal) - n + 1, n))
    if len(starts) > 6:
        starts = [starts[i * (len(starts) - 1) // 5] for i in range(6)]
    window = [0.5 - 0.5 * math.cos(2 * math.pi * i / n) for i in range(n)]
    bins = int(top_hz * n / rate)
    weighted = total = 0.0
    for start in starts:
        x = [signal[start + i] * window[i] for i in range(n)]
        for k in range(1, bins):
            step = 2 * math.pi * k / n
            re = sum(v * math.cos(step * i) for i, v in enumerate(x))
            im = sum(v * math.sin(step * i) for i, v in enumerate(x))
            magnitude = math.hypot(re, im)
            weighted += magnitude * k * rate / n
            total += magnitude
    return weighted / total if total > 0 else 0.0


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest='cmd', required=True)
    p = sub.add_parser('level')
    p.add_argument('file')
    p.add_argument('--min-peak-db', type=float, default=-60.0)
    p = sub.add_parser('pitch')
    p.add_argument('file')
    p.add_argument('--expect', type=float, required=True)
    p.add_argument('--start', type=float, default=0.1)
    p.add_argument('--at', type=float)
    p.add_argument('--length', type=float, default=0.12)
    p.add_argument('--cents', type=float, default=30.0)
    p = sub.add_parser('compare')
    p.add_argument('a')
    p.add_argument('b')
    p.add_argument('--aligned', action='store_true')
    p.add_argument('--first-channel', action='store_true')
    p.add_argument('--max-diff', type=float, default=0.0)
    p.add_argument('--max-level-db', type=float)
    p = sub.add_parser('change')
    p.add_argument('file')
    p.add_argument('--before', type=float, required=True)
    p.add_argument('--after', type=float, required=True)
    p.add_argument('--length', type=float, default=1.0)
    p.add_argument('--min-change', type=float, default=0.25)
    args = parser.parse_args()

    if args.cmd == 'change':
        rate, channels, frames = read_wav(args.file)
        mono = [sum(f) / channels for f in frames]
        duration = len(mono) / rate
        windows = []
        for begin_s in (args.before, args.after):
            begin_s = begin_s if begin_s >= 0 else duration + begin_s
            begin, end = int(begin_s * rate), int((begin_s + args.length) * rate)
            if begin < 0 or end > len(mono):
                print(f'FAIL: {args.file} ({duration:.2f} s) does not hold a window at {begin_s:.2f} s')
                return 1
            windows.append(mono[begin:end])
        before, after = windows
        levels = [db(math.sqrt(sum(v * v for v in w) / len(w))) for w in (before, after)]
        centres = [centroid(w, rate) for w in (before, after)]
        print(f'{args.file}: {centres[0]:.0f} Hz centroid at {levels[0]:.1f} dB, then '
              f'{centres[1]:.0f} Hz at {levels[1]:.1f} dB')
        if min(levels) < -40.0:
            print('FAIL: silent on one side of the change')
            return 1
        if abs(centres[1] - centres[0]) < args.min_change * centres[0]:
            print('FAIL: the sound did not change')
            return 1
        return 0

    if args.cmd == 'level':
        rate, channels, frames = read_wav(args.file)
        peak, rms = level(frames)
        print(f'{args.file}: {len(frames)} frames at {rate} Hz, {channels} channels, '
              f'peak {db(peak):.1f} dBFS, RMS {db(rms):.1f} dBFS')
        if db(peak) < args.min_peak_db:
            print(f'FAIL: {args.file} is silent (peak below {args.min_peak_db} dBFS)')
            return 1
        return 0

    if args.cmd == 'pitch':
        rate, channels, frames = read_wav(args.file)
        onset = first_sound(frames)
        begin = int(args.at * rate) if args.at is not None else onset + int(args.start * rate)
        signal = [f[0] for f in frames[begin:begin + int(args.length * rate)]]
        if not signal or max(abs(v) for v in signal) < 1e-4:
            print(f'FAIL: {args.file} is silent where the pitch is measured')
            return 1
        hz = fundamental(signal, rate)
        cents = 1200 * math.log2(hz / args.expect)
        print(f'{args.file}: fundamental {hz:.2f} Hz ({cents:+.1f} cents from {args.expect} Hz), '
              f'sound from frame {onset}')
        if abs(cents) > args.cents:
            print(f'FAIL: pitch {hz:.2f} Hz, expected {args.expect} Hz')
            return 1
        return 0

    ra, ca, fa = read_wav(args.a)
    rb, cb, fb = read_wav(args.b)
    if args.first_channel:
        fa, fb = [f[:1] for f in fa], [f[:1] for f in fb]
        ca = cb = 1
    if (ra, ca) != (rb, cb):
        print(f'FAIL: formats differ ({ra} Hz x {ca} against {rb} Hz x {cb})')
        return 1
    if args.aligned:
        if len(fa) != len(fb):
            print(f'FAIL: {len(fa)} frames against {len(fb)}')
            return 1
    else:
        fa = fa[first_sound(fa):]
        fb = fb[first_sound(fb):]
    n = min(len(fa), len(fb))
    if n == 0:
        print('FAIL: a file is silent')
        return 1
    worst, at = 0.0, 0
    for i in range(n):
        for x, y in zip(fa[i], fb[i]):
            e = abs(x - y)
            if e > worst:
                worst, at = e, i
    _, rms_a = level(fa[:n])
    _, rms_b = level(fb[:n])
    print(f'compared {n} frames: largest difference {worst:.3g} (frame {at}), '
          f'RMS {db(rms_a):.2f} / {db(rms_b):.2f} dBFS')
    if args.max_level_db is not None:
        if abs(db(rms_a) - db(rms_b)) > args.max_level_db:
            print(f'FAIL: levels differ by more than {args.max_level_db} dB')
            return 1
        return 0
    if worst > args.max_diff:
        print(f'FAIL: samples differ by up to {worst:.3g} (allowed {args.max_diff})')
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
