#!/usr/bin/env python3
"""How full a shared disc comes out: three inputs (a still picture, film, a
noisy video) planned onto one DVD that holds them at about 4,000 kbit/s
each. The image's size over the disc's, in percent:

- even: every input at the plan's one rate (quorvel-info --disc --ffmpeg's
  commands, authored and imaged here as quorvel-disc does);
- by need: quorvel-disc, which measures each input first and gives the
  still one what it needs and the rest to the others.

    bench/disc-fill.py [PATH/TO/build/release] [--seconds 90]

Measured (90 s each on a 143,835,064-byte disc, PAL; the disc's 4 MiB
reserve is 2.9% of it):
    even     73.7%   (still 1,148 of 3,893 kbit/s used)
    by need  97.5%   (shares 1,011, 5,365, 5,479 kbit/s)
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile

SOURCES = [('still.mkv', 'testsrc2=size=720x576:rate=25,trim=end_frame=1,loop=loop=-1:size=1,'
                         'setpts=N/25/TB'),
           ('film.mkv', 'mandelbrot=size=720x576:rate=24000/1001'),
           ('noisy.mkv', 'testsrc2=size=720x576:rate=25,noise=alls=12:allf=t')]


def run(args, **kw):
    p = subprocess.run(args, capture_output=True, **kw)
    if p.returncode != 0:
        sys.exit(f'{args[0]} failed: {p.stderr.decode(errors="replace")[-1500:]}')
    return p


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('build', nargs='?', default='build/release')
    ap.add_argument('--seconds', type=int, default=90)
    o = ap.parse_args()
    info = os.path.abspath(os.path.join(o.build, 'info', 'quorvel-info'))
    disc = os.path.abspath(os.path.join(o.build, 'make', 'quorvel-disc'))
    env = dict(os.environ, PATH=os.path.dirname(disc) + os.pathsep + os.environ['PATH'],
               VIDEO_FORMAT='PAL')
    with tempfile.TemporaryDirectory(prefix='fill.') as work:
        names = []
        for name, graph in SOURCES:
            run(['ffmpeg', '-nostdin', '-y', '-f', 'lavfi', '-i', graph, '-f', 'lavfi', '-i', 'sine',
                 '-t', str(o.seconds), '-c:v', 'libx264', '-crf', '12', '-c:a', 'aac', name], cwd=work)
            names.append(name)
        # About 4,000 kbit/s of video each (the film runs 4% shorter at 25).
        size = 4 * 1024 * 1024 + int(3 * o.seconds * 0.987 * (4000 + 192) / 8 * 1000)

        plan = run([info, '--json', '--ffmpeg', '--standard', 'pal', '--disc', str(size),
                    '--output', work, *names], cwd=work)
        targets = [json.loads(line)['targets'][0] for line in plan.stdout.decode().splitlines()[:3]]
        outputs = []
        for t in targets:
            f = t['ffmpeg']
            for line in [f['command'], *f['then']]:
                run(['sh', '-c', line.replace('-nostdin', '-nostdin -y', 1)], cwd=work, env=env)
            outputs.append(f['output'])
        even_kbps = targets[0]['ffmpeg']['video_kbps']
        still_used = os.path.getsize(outputs[0]) * 8 / (o.seconds * 1000)
        run(['dvdauthor', '-o', 'even', *sum((['-t', p] for p in outputs), [])], cwd=work, env=env)
        run(['dvdauthor', '-o', 'even', '-T'], cwd=work, env=env)
        run(['genisoimage', '-quiet', '-dvd-video', '-o', 'even.iso', 'even'], cwd=work)
        even = os.path.getsize(os.path.join(work, 'even.iso'))

        made = run([disc, '--json', '--standard', 'pal', '--disc', str(size), '--output', 'need.iso',
                    *names], cwd=work, env=env)
        shares = [json.loads(line)['video_kbps'] for line in made.stdout.decode().splitlines()
                  if '"event":"share"' in line]
        need = os.path.getsize(os.path.join(work, 'need.iso'))

    print(f'{size:,}-byte disc, {o.seconds} s each, PAL')
    print(f'even     {100 * even / size:.1f}%   (still {still_used:,.0f} of {even_kbps:,} kbit/s used)')
    print(f'by need  {100 * need / size:.1f}%   (shares {", ".join(f"{s:,}" for s in shares)} kbit/s)')


if __name__ == '__main__':
    main()
