#!/usr/bin/python3
"""Draws the spectrograms of the audio a dremko run read and wrote, with its
loss timeline when packets went through loss, into a PNG.

usage: dremko-plot-report REPORT.json OUT.png

REPORT.json is written by `dremko encode|decode|roundtrip --report` or by
`dremko demo`; packet files, captures and standard input or output have no
spectrogram, so a report that names no audio file gets its loss timeline
alone. Needs Debian's python3-numpy and python3-matplotlib; audio other
than WAV (FLAC, Ogg, AIFF) also needs python3-soundfile.
"""
import json
import os
import sys
import wave

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np
except ImportError:
    sys.exit("plot_report: needs the Debian packages python3-numpy and python3-matplotlib "
             "(and python3-soundfile for audio other than WAV)")

MARK_COLOURS = {"r": ("rebuilt from a copy", "tab:green"),
                "c": ("concealed", "tab:orange"),
                "m": ("muted", "tab:red")}


def find(path, report_path):
    """The path as written in the report, or the same file beside the report."""
    if os.path.exists(path):
        return path
    beside = os.path.join(os.path.dirname(report_path), os.path.basename(path))
    if os.path.exists(beside):
        return beside
    sys.exit(f"plot_report: cannot find {path}")


def read_mono(path):
    """Samples averaged over channels, and the sample rate."""
    if path.lower().endswith(".wav"):
        with wave.open(path) as w:
            width = w.getsampwidth()
            if width not in (2, 4):
                sys.exit(f"plot_report: {path}: only 16- and 32-bit WAV can be read without python3-soundfile")
            data = np.frombuffer(w.readframes(w.getnframes()), dtype=np.int16 if width == 2 else np.int32)
            data = data.reshape(-1, w.getnchannels()) / float(2 ** (8 * width - 1))
            return data.mean(axis=1), w.getframerate()
    try:
        import soundfile
    except ImportError:
        sys.exit(f"plot_report: reading {path} needs python3-soundfile (or convert it to WAV)")
    data, rate = soundfile.read(path, always_2d=True)
    return data.mean(axis=1), rate


def spectrogram(axis, samples, rate, title):
    # A floor far below any coded sound keeps digital silence off the log's -inf.
    floor = 1e-7 * np.random.default_rng(0).standard_normal(len(samples))
    axis.specgram(samples + floor, NFFT=1024, Fs=rate, noverlap=512, cmap="magma", vmin=-140, vmax=-20)
    axis.set_ylabel("kHz")
    axis.set_yticks(range(0, int(rate / 2) + 1, 4000))
    axis.set_yticklabels([str(k // 1000) for k in range(0, int(rate / 2) + 1, 4000)])
    axis.set_title(title, loc="left", fontsize=10)


def timeline(axis, report):
    marks = report.get("timeline", "")
    start = report.get("timeline_start_s", 0.0)
    seen = set()
    for k, mark in enumerate(marks):
        if mark not in MARK_COLOURS:
            continue
        label, colour = MARK_COLOURS[mark]
        axis.axvspan(start + 0.02 * k, start + 0.02 * (k + 1), color=colour,
                     label=None if mark in seen else label)
        seen.add(mark)
    lost = report.get("packets_lost", 0)
    sent = report.get("packets_sent", 0)
    axis.set_title(f"lost packets: {lost} of {sent}", loc="left", fontsize=10)
    axis.set_yticks([])
    axis.set_xlabel("seconds")
    if seen:
        axis.legend(loc="upper right", fontsize=8, ncol=3)


def is_audio(path):
    return path not in ("", "-") and not path.lower().endswith((".drk", ".pcap", ".pcapng"))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip())
    report_path, png_path = sys.argv[1], sys.argv[2]
    with open(report_path) as f:
        report = json.load(f)
    panels = []
    if is_audio(report["input"]):
        panels.append((read_mono(find(report["input"], report_path)), f"input: {report['input']}"))
    if is_audio(report["output"]):
        quality = ""
        if "snr_db" in report:
            quality = f"  (SNR {report['snr_db']:.1f} dB, segmental SNR {report['segmental_snr_db']:.1f} dB)"
        panels.append((read_mono(find(report["output"], report_path)),
                       f"decoded: {report['output']}, {report['total_kbps']:.1f} kbit/s, "
                       f"{report['copies']} copies{quality}"))
    lossy = "timeline" in report
    if not panels and not lossy:
        sys.exit(f"plot_report: {report_path} names no audio file and has no timeline to draw")
    ratios = [4] * len(panels) + ([1] if lossy else [])
    figure, axes = plt.subplots(len(ratios), 1, figsize=(12, sum(ratios) + 1), sharex=True,
                                gridspec_kw={"height_ratios": ratios}, squeeze=False)
    axes = axes[:, 0]
    for axis, ((samples, rate), title) in zip(axes, panels):
        spectrogram(axis, samples, rate, title)
    if lossy:
        timeline(axes[-1], report)
    # Without audio the timeline sets the span.
    timeline_end = report.get("timeline_start_s", 0.0) + 0.02 * len(report.get("timeline", ""))
    axes[-1].set_xlim(0, max((len(samples) / rate for (samples, rate), _ in panels), default=timeline_end))
    figure.tight_layout()
    figure.savefig(png_path, dpi=100)


if __name__ == "__main__":
    main()
