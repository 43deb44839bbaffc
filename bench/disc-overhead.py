#!/usr/bin/env python3
"""quorvel-disc's own cost: its wall time against the same ffmpeg encodes run
bare, --jobs 1 and --jobs 2. What is left (planning, progress, the fit check,
authoring, imaging and reading back) should stay under a tenth.

    bench/disc-overhead.py [PATH/TO/quorvel-disc] [--seconds 20] [--rounds 3]

Three generated sources (a 16:9 25p clip, a 4:3 29.97 clip, a 2.39:1 film)
go on a PAL DVD. Each round runs the encodes bare first (the commands
quorvel-disc prints in its plan, as many at a time as the jobs), then
quorvel-disc itself; the medians are printed.
"""
import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor


def sources(folder, seconds):
    shapes = [("wide.mp4", "testsrc2=size=1280x720:rate=25"),
              ("four3.mkv", "testsrc2=size=640x480:rate=30000/1001"),
              ("film.mkv", "mandelbrot=size=1280x536:rate=24000/1001")]
    for name, source in shapes:
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-f", "lavfi",
                        "-i", "sine", "-t", str(seconds), "-pix_fmt", "yuv420p",
                        os.path.join(folder, name)], check=True)
    return [name for name, _ in shapes]


def run_disc(disc, folder, names, jobs, image):
    start = time.monotonic()
    out = subprocess.run([disc, "--json", "--jobs", str(jobs), "--output", image] + names,
                         cwd=folder, capture_output=True, text=True)
    elapsed = time.monotonic() - start
    if out.returncode != 0:
        sys.exit(f"quorvel-disc failed: {out.stderr}")
    return elapsed


def bare(disc, folder, names, jobs):
    plan = subprocess.run([disc, "--json", "--dry-run", "--output", "bare.iso"] + names,
                          cwd=folder, capture_output=True, text=True, check=True)
    commands = [i["command"] for i in json.loads(plan.stdout.splitlines()[0])["inputs"]]
    os.makedirs(os.path.join(folder, "bare.work"), exist_ok=True)
    # The steps after a DVD's encode name quorvel-disc.
    env = dict(os.environ, PATH=os.path.dirname(disc) + os.pathsep + os.environ["PATH"])
    start = time.monotonic()
    with ThreadPoolExecutor(jobs) as pool:
        for r in pool.map(lambda c: subprocess.run(["sh", "-c", c.replace("-nostdin", "-nostdin -y", 1)],
                                                   cwd=folder, capture_output=True, env=env), commands):
            if r.returncode != 0:
                sys.exit(f"a bare step failed: {r.stderr.decode()}")
    elapsed = time.monotonic() - start
    shutil.rmtree(os.path.join(folder, "bare.work"))
    return elapsed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("disc", nargs="?", default="build/release/make/quorvel-disc")
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--rounds", type=int, default=3)
    a = parser.parse_args()
    disc = os.path.abspath(a.disc)
    with tempfile.TemporaryDirectory() as folder:
        names = sources(folder, a.seconds)
        for jobs in (1, 2):
            bares, discs = [], []
            for r in range(a.rounds):
                bares.append(bare(disc, folder, names, jobs))
                image = f"round{r}-{jobs}.iso"
                discs.append(run_disc(disc, folder, names, jobs, image))
                os.remove(os.path.join(folder, image))
            b, d = statistics.median(bares), statistics.median(discs)
            print(f"--jobs {jobs}: encodes bare {b:.2f} s, quorvel-disc {d:.2f} s, "
                  f"the rest {100 * (d - b) / b:.1f}% of the encodes")


if __name__ == "__main__":
    main()
