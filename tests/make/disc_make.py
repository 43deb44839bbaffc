"""The disc proof: quorvel-disc makes DVD, VCD and SVCD images of small
sources, and tools of their own read the images back.

- DVD, PAL and NTSC: lsdvd finds a title per input, each as long as its
  source (a film sped up to PAL's 25, a 25 source slowed to NTSC's film rate),
  with its display aspect, at least one chapter, and one title set per
  (aspect, frame width), so 4:3 and 16:9 titles never share one; the ISO fits
  the disc. quorvel-disc's own "done" read-back agrees with lsdvd.
- VCD and SVCD: vcd-info finds an entry per input and a play list playing
  each; vcdxrip's tracks hold the format's video, each as long as its source;
  the BIN fits the disc.
- Resume: a run interrupted (SIGINT to its process group, as Ctrl-C) after
  its first encode leaves no finished-looking stream without its marker; the
  rerun keeps that encode and finishes.
- Chapters: --chapters 1 puts a second chapter a minute into a 64 s title.
- A full disc: the natural image less a tenth of its streams makes it
  re-encode ("refit"), and the ISO still fits.
- A missing program: exit 3, naming the Debian package.

Usage: disc_make.py --quorvel-disc PATH [--jobs N] [--keep DIR]
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import proof_kit  # noqa: E402
from fractions import Fraction

TOOLS = ('ffmpeg', 'ffprobe', 'mplex', 'lsdvd', 'vcd-info', 'vcdxrip', 'isoinfo')
EVENTS = {'plan', 'progress', 'encoded', 'share', 'fit', 'refit', 'step', 'done', 'error'}
FILM = Fraction(24000, 1001)

# Each source a different length, so that a title is known by its aspect and
# length. `wide`: what the disc shows it as (2.4:1 goes letterboxed on 16:9).
SOURCES = [
    dict(name='wide25.mp4', size='640x360', rate=Fraction(25), frames=100, wide=True,
         video=['-c:v', 'libx264', '-preset', 'ultrafast'], audio=['-c:a', 'aac']),
    dict(name='ntsc_tff.mkv', size='640x480', rate=Fraction(30000, 1001), frames=90, wide=False,
         filters=',setfield=tff',
         video=['-c:v', 'mpeg2video', '-b:v', '4000k', '-flags', '+ildct+ilme', '-top', '1'],
         audio=['-c:a', 'mp2']),
    dict(name='scope_film.mkv', size='720x300', rate=FILM, frames=120, wide=True,
         video=['-c:v', 'libx264', '-preset', 'ultrafast'], audio=['-c:a', 'ac3']),
    # No sound at all.
    dict(name='silent.avi', size='320x240', rate=Fraction(25), frames=60, wide=False,
         video=['-c:v', 'mpeg4', '-q:v', '4'], audio=None),
]
MAIN = SOURCES[:3]
# Long enough for a chapter a minute in, besides its own at 20 and 40 s; its
# sound in German.
LONG = dict(name='long.mkv', size='320x240', rate=Fraction(25), frames=1600, wide=False,
            video=['-c:v', 'mpeg4', '-q:v', '5'], audio=['-c:a', 'mp2'], chapters=[20, 40],
            language='ger')

# One picture held still: it needs little of a shared disc.
STILL = dict(name='still.mkv', size='640x480', rate=Fraction(25), frames=250, wide=False, still=True,
             video=['-c:v', 'libx264', '-preset', 'ultrafast'], audio=['-c:a', 'aac'])

# A DVD rip: MPEG-2 in a PAL DVD's own frame, 16:9, fields top first.
RIP = dict(name='rip.mpg', size='720x576', rate=Fraction(25), frames=100, wide=True,
           filters=',setsar=64/45,setfield=tff',
           video=['-target', 'pal-dvd', '-aspect', '16:9', '-b:v', '5000k', '-flags', '+ildct+ilme',
                  '-top', '1'], audio=['-b:a', '192k'])

# The discs' capacities: an ISO's bytes, a BIN's raw 2,352-byte sectors.
DVD5_BYTES = 2_295_104 * 2048
CD80_BYTES = 360_000 * 2352


def run(args, timeout=120, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout, **kw)


def make_source(src, folder):
    seconds = float(src['frames'] / src['rate'])
    graph = (f"testsrc2=s={src['size']}:r={src['rate']},trim=end_frame={src['frames']},setsar=1"
             f"{src.get('filters', '')}")
    if src.get('still'):
        graph = (f"testsrc2=s={src['size']}:r={src['rate']},trim=end_frame=1,"
                 f"loop=loop={src['frames'] - 1}:size=1,setpts=N/({src['rate']})/TB,setsar=1")
    inputs = ['-f', 'lavfi', '-i', graph]
    if src['audio']:
        inputs += ['-f', 'lavfi', '-i', f'sine=f=440:r=48000:d={seconds:.4f}']
    extra = []
    if src.get('chapters'):
        marks = [0, *src['chapters'], seconds]
        meta = os.path.join(folder, src['name'] + '.chapters')
        with open(meta, 'w') as f:
            f.write(';FFMETADATA1\n' + ''.join(
                f'[CHAPTER]\nTIMEBASE=1/1000\nSTART={int(a * 1000)}\nEND={int(b * 1000)}\n'
                for a, b in zip(marks, marks[1:])))
        inputs += ['-i', meta]
        extra += ['-map_chapters', str(inputs.count('-i') - 1)]
    if src.get('language'):
        extra += ['-metadata:s:a:0', f'language={src["language"]}']
    path = os.path.join(folder, src['name'])
    p = run(['ffmpeg', '-nostdin', '-hide_banner', '-loglevel', 'error', '-y', *inputs, *extra,
             *src['video'], *(src['audio'] or ['-an']), path])
    if p.returncode != 0:
        raise RuntimeError(f'making {src["name"]}: {p.stderr.decode(errors="replace")}')
    return path


def disc_rate(src, fmt, std):
    """The rate the source's frames play at on the disc, when its speed
    changes: film (and 24) up to PAL's 25, 25 down to NTSC's film rate."""
    if std == 'pal' and src['rate'] in (FILM, 24):
        return Fraction(25)
    if std == 'ntsc' and src['rate'] in (25, 24):
        return FILM
    return src['rate']


def seconds_on_disc(src, fmt, std):
    return float(src['frames'] / disc_rate(src, fmt, std))


class Run:
    def __init__(self, rc, out, err, seconds):
        self.rc, self.out, self.err, self.seconds = rc, out, err, seconds
        self.events, self.bad_lines = [], []
        for line in out.splitlines():
            try:
                e = json.loads(line)
                if not isinstance(e, dict) or e.get('event') not in EVENTS:
                    raise ValueError
                self.events.append(e)
            except ValueError:
                self.bad_lines.append(line)

    def of(self, kind):
        return [e for e in self.events if e['event'] == kind]

    def said(self):
        tail = (self.err.strip().splitlines() or self.out.strip().splitlines() or [''])[-3:]
        return f'exit {self.rc}: {" | ".join(tail)}'


def quorvel_disc(ctx, args, env=None, timeout=600):
    started = time.monotonic()
    p = run([ctx.disc, *args], timeout=timeout, env=env, cwd=ctx.work)
    return Run(p.returncode, p.stdout.decode(errors='replace'), p.stderr.decode(errors='replace'),
               time.monotonic() - started)


def finished(r, json_mode=True):
    """The problems of a run that should have made its image."""
    if r.rc != 0:
        return [f'quorvel-disc failed, {r.said()}']
    if json_mode and r.bad_lines:
        return [f'not a JSON event line: {r.bad_lines[0]!r}']
    if json_mode and len(r.of('done')) != 1:
        return ['no "done" event']
    return []


def lsdvd(iso):
    """The titles as lsdvd reads them: length in seconds, title set, aspect,
    frame width, chapters."""
    p = run(['lsdvd', '-x', '-a', '-c', '-Ox', iso])
    text = p.stdout.decode(errors='replace')
    # libdvdread's banner comes first, and lsdvd writes '&' bare.
    start = text.find('<?xml')
    if p.returncode != 0 or start < 0:
        return None
    text = re.sub(r'&(?!(amp|lt|gt|quot|apos|#\d+);)', '&amp;', text[start:])
    titles = []
    for t in ET.fromstring(text).iter('track'):
        titles.append(dict(ix=int(t.findtext('ix')), length=float(t.findtext('length')),
                           vts=int(t.findtext('vts')), wide=t.findtext('aspect') == '16/9',
                           width=int(t.findtext('width')), fps=float(t.findtext('fps')),
                           chapters=[float(c.findtext('length')) for c in t.findall('chapter')],
                           languages=[a.findtext('langcode') for a in t.findall('audio')]))
    return titles


def check_dvd(iso, sources, std, capacity, done=None):
    titles = lsdvd(iso)
    if titles is None:
        return ['lsdvd cannot read the ISO']
    problems = []
    if len(titles) != len(sources):
        problems.append(f'{len(titles)} titles for {len(sources)} inputs')
    # One title set per (aspect, width), holding all of them.
    sets = {}
    for t in titles:
        sets.setdefault(t['vts'], set()).add((t['wide'], t['width']))
    if any(len(kinds) > 1 for kinds in sets.values()):
        problems.append(f'title sets mix aspects or widths: {sets}')
    kinds = [k for v in sets.values() for k in v]
    if len(kinds) != len(set(kinds)):
        problems.append(f'an aspect and width split over title sets: {sets}')
    left = list(titles)
    for src in sources:
        want = seconds_on_disc(src, 'dvd', std)
        same = [t for t in left if t['wide'] == src['wide']]
        if not same:
            problems.append(f'{src["name"]}: no {"16:9" if src["wide"] else "4:3"} title left')
            continue
        t = min(same, key=lambda t: abs(t['length'] - want))
        left.remove(t)
        # A frame, lsdvd's millisecond, and NTSC's frame count kept at 30 a
        # second (0.1% of the time).
        slack = 1 / t['fps'] + 0.002 + (0.001 * want if std == 'ntsc' else 0)
        if abs(t['length'] - want) > slack:
            problems.append(f'{src["name"]}: title {t["ix"]} runs {t["length"]:.3f} s, '
                            f'the source {want:.3f} s on {std.upper()}')
        if not t['chapters']:
            problems.append(f'{src["name"]}: title {t["ix"]} has no chapter')
    size = os.path.getsize(iso)
    if size > capacity:
        problems.append(f'the ISO has {size} bytes, the disc {capacity}')
    if done is not None:
        # quorvel-disc's own read-back says what lsdvd says.
        claimed = sorted((d.get('title'), d.get('titleset'), d.get('aspect'), d.get('chapters'),
                          d.get('running_ms')) for d in done.get('titles', []))
        seen = sorted((t['ix'], t['vts'], '16:9' if t['wide'] else '4:3', len(t['chapters']),
                       t['length'] * 1000) for t in titles)
        if len(claimed) != len(seen) or any(
                c[:4] != s[:4] or not isinstance(c[4], int) or abs(c[4] - s[4]) > 1000 / 25
                for c, s in zip(claimed, seen)):
            problems.append(f'"done" says titles {claimed}, lsdvd {seen}')
        fill = 100 * size / capacity
        if abs(float(done.get('fill_percent', 'nan')) - fill) > 0.1:
            problems.append(f'"done" says {done.get("fill_percent")}% full, the ISO fills {fill:.2f}%')
        if os.path.abspath(os.path.join(os.path.dirname(iso), done.get('image', ''))) != \
                os.path.abspath(iso):
            problems.append(f'"done" names the image {done.get("image")!r}')
    return problems


def check_cd(ctx, cue, sources, fmt, std):
    problems = []
    p = run(['vcd-info', '-B', '--cue-file', cue])
    info = p.stdout.decode(errors='replace')
    kind = 'SVCD detected' if fmt == 'svcd' else 'VCD 2.0 detected'
    if kind not in info:
        return [f'vcd-info does not say "{kind}": {info.strip().splitlines()[:2]}']
    entries = re.search(r'^ entries: (\d+)$', info, re.M)
    if not entries or int(entries.group(1)) != len(sources):
        problems.append(f'{entries and entries.group(1)} entries for {len(sources)} inputs')
    psd = re.search(r'^ psd size: (\d+)$', info, re.M)
    played = {int(n) for n in re.findall(r'play-item\[\d+\]: SEQUENCE\[(\d+)\]', info)}
    if not psd or int(psd.group(1)) == 0 or played != set(range(len(sources))):
        problems.append(f'the play list plays sequences {sorted(played)} of {len(sources)}')
    bin_path = cue[:-4] + '.bin'
    if os.path.getsize(bin_path) > CD80_BYTES:
        problems.append(f'the BIN has {os.path.getsize(bin_path)} bytes, the disc {CD80_BYTES}')
    # The tracks themselves, in the order given.
    rip = tempfile.mkdtemp(prefix='rip.', dir=ctx.work)
    run(['vcdxrip', '--cue-file', os.path.abspath(cue)], cwd=rip)
    tracks = sorted(n for n in os.listdir(rip) if n.endswith('.mpg'))
    if len(tracks) != len(sources):
        return problems + [f'vcdxrip found tracks {tracks}']
    codec, height = ('mpeg1video', (288, 240)) if fmt == 'vcd' else ('mpeg2video', (576, 480))
    height = height[0] if std == 'pal' else height[1]
    for src, track in zip(sources, tracks):
        p = run(['ffprobe', '-v', 'error', '-count_frames', '-select_streams', 'v:0', '-show_entries',
                 'stream=codec_name,height,r_frame_rate,nb_read_frames', '-of', 'json',
                 os.path.join(rip, track)])
        v = (json.loads(p.stdout or b'{}').get('streams') or [{}])[0]
        if (v.get('codec_name'), v.get('height')) != (codec, height):
            problems.append(f'{track}: {v.get("codec_name")} {v.get("height")} lines, '
                            f'not {codec} {height}')
            continue
        got = int(v['nb_read_frames']) / Fraction(v['r_frame_rate'])
        want = seconds_on_disc(src, fmt, std)
        if abs(float(got) - want) > float(1 / Fraction(v['r_frame_rate'])) + 0.001:
            problems.append(f'{track} ({src["name"]}): {float(got):.3f} s, the source {want:.3f} s')
    shutil.rmtree(rip, ignore_errors=True)
    return problems


def stream_bytes(folder):
    return sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)
               if n.endswith('.mpg'))


def check_dvd_run(ctx, std, sources, name):
    iso = os.path.join(ctx.work, f'{name}.iso')
    work = os.path.join(ctx.work, f'{name}.work')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', std, '--output', iso, '--work', work,
                           '--jobs', str(ctx.jobs), '--keep', '--json', *ctx.paths(sources)])
    problems = finished(r)
    if problems:
        return problems
    problems = check_dvd(iso, sources, std, DVD5_BYTES, r.of('done')[0])
    ctx.natural[std] = (os.path.getsize(iso), stream_bytes(work))
    # Every stream has DVD's progressive_sequence 0; film onto NTSC is soft
    # pulldown: 29.97's rate code over the film's progressive frames.
    for i, src in enumerate(sources):
        h = proof_kit.mpeg_headers(os.path.join(work, f'title-{i + 1:02}.mpg'))
        soft = std == 'ntsc' and src['rate'] in (FILM, 24, 25)
        if h.get('progressive_sequence') != 0:
            problems.append(f'{src["name"]}: progressive_sequence {h.get("progressive_sequence")}')
        if soft and (h.get('rate_code'), h.get('progressive_frame')) != (4, 1):
            problems.append(f'{src["name"]}: rate code {h.get("rate_code")}, progressive_frame '
                            f'{h.get("progressive_frame")}: no soft pulldown')
    return problems


def check_cd_run(ctx, fmt, std, sources, name, json_mode):
    cue = os.path.join(ctx.work, f'{name}.cue')
    r = quorvel_disc(ctx, ['--format', fmt, '--standard', std, '--output', cue,
                           '--jobs', str(ctx.jobs), *(['--json'] if json_mode else []),
                           *ctx.paths(sources)])
    problems = finished(r, json_mode)
    if problems:
        return problems
    if os.path.exists(cue + '.work') or os.path.exists(os.path.join(ctx.work, f'{name}.work')):
        problems.append('the work folder is left after success without --keep')
    # quorvel-disc's own read-back measures each track in the BIN.
    if json_mode:
        said = [t.get('running_ms', 0) / 1000 for t in r.of('done')[0].get('titles', [])]
        want = [seconds_on_disc(src, fmt, std) for src in sources]
        if len(said) != len(want) or any(abs(a - b) > 0.05 for a, b in zip(said, want)):
            problems.append(f'"done" says tracks of {said} s, not {[round(w, 3) for w in want]}')
    return problems + check_cd(ctx, cue, sources, fmt, std)


def check_resume(ctx):
    iso = os.path.join(ctx.work, 'resume.iso')
    # The shortest first: the interrupt finds the next still encoding.
    order = sorted(MAIN, key=lambda s: s['frames'] / s['rate'])
    args = [ctx.disc, '--format', 'dvd', '--standard', 'pal', '--output', iso, '--jobs', str(ctx.jobs),
            '--json', *ctx.paths(order)]
    # Its own process group, which Ctrl-C would reach whole: ffmpeg too.
    p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=ctx.work,
                         start_new_session=True)
    first = None
    try:
        for line in p.stdout:
            try:
                e = json.loads(line)
            except ValueError:
                continue
            if e.get('event') == 'encoded':
                first = e.get('input')
                os.killpg(p.pid, signal.SIGINT)
                break
        p.stdout.read()
        p.wait(timeout=60)
    finally:
        if p.poll() is None:
            os.killpg(p.pid, signal.SIGKILL)
            p.wait()
    err = p.stderr.read().decode(errors='replace')
    if first is None:
        return [f'no "encoded" event before the end, exit {p.returncode}: {err.strip()[-200:]}']
    problems = []
    if p.returncode != 130:
        problems.append(f'interrupted, exit {p.returncode}, not 130')
    works = [n for n in os.listdir(ctx.work) if n.startswith('resume') and
             os.path.isdir(os.path.join(ctx.work, n))]
    if len(works) != 1:
        return problems + [f'the work folder beside the image: {works}']
    work = os.path.join(ctx.work, works[0])
    names = os.listdir(work)
    # Each stream that looks whole has its marker; an unfinished one is a
    # .part. A marker is a file named after the stream.
    streams = [n for n in names if n.endswith('.mpg')]
    unmarked = [n for n in streams
                if not any(m != n and not m.endswith('.part') and
                           (m.startswith(n) or m.startswith(n[:-4] + '.')) for m in names)]
    if unmarked or not streams:
        problems.append(f'after the interrupt the work folder holds {sorted(names)}')
    ctx.note = (f'interrupted with {len(streams)} of {len(order)} streams whole, '
                f'{sum(n.endswith(".part") for n in names)} .part')
    r = quorvel_disc(ctx, args[1:])
    more = finished(r)
    if more:
        return problems + more
    if os.path.exists(work):
        problems.append('the work folder is left after success without --keep')
    kept = {e.get('input') for e in r.of('encoded') if e.get('kept') is True}
    if first not in kept or len(kept) != len(streams) - len(unmarked):
        problems.append(f'input {first} was encoded before the interrupt, {len(streams)} streams '
                        f'whole; the rerun kept {sorted(kept)}')
    if sorted(e.get('input') for e in r.of('encoded')) != sorted({e.get('input') for e in r.of('encoded')}) \
            or len(r.of('encoded')) != len(MAIN):
        problems.append(f'"encoded" events for inputs {[e.get("input") for e in r.of("encoded")]}')
    return problems + check_dvd(iso, MAIN, 'pal', DVD5_BYTES, r.of('done')[0])


def check_full(ctx):
    if 'pal' not in ctx.natural:
        return ['needs the PAL DVD run']
    iso_bytes, streams = ctx.natural['pal']
    # The natural image less a tenth of its streams. quorvel-disc plans the
    # rate for this disc at once; on clips this short its encodes overshoot
    # that plan, which the refit has to mend.
    size = iso_bytes - streams // 10
    iso = os.path.join(ctx.work, 'full.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'pal', '--disc', str(size),
                           '--output', iso, '--jobs', str(ctx.jobs), '--json', *ctx.paths(MAIN)])
    problems = finished(r)
    if problems:
        return problems
    if not r.of('refit'):
        problems.append(f'no "refit" on a {size}-byte disc (natural ISO {iso_bytes} bytes)')
    ctx.note = (f'{size}-byte disc: {len(r.of("refit"))} refit, ISO {os.path.getsize(iso)} bytes')
    return problems + check_dvd(iso, MAIN, 'pal', size, r.of('done')[0])


def check_share(ctx):
    # A disc that holds the three at about 3,000 kbit/s each: the still one
    # needs less, and the others get what it leaves.
    sources = [STILL, MAIN[0], MAIN[2]]
    seconds = sum(seconds_on_disc(s, 'dvd', 'pal') for s in sources)
    size = 4 * 1024 * 1024 + int(seconds * (3000 + 192) / 8 * 1000)
    iso = os.path.join(ctx.work, 'share.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'pal', '--disc', str(size), '--output', iso,
                           '--jobs', str(ctx.jobs), '--json', *ctx.paths(sources)])
    problems = finished(r)
    if problems:
        return problems
    even = r.of('plan')[0]['inputs'][0]['video_kbps']
    shares = {e['input']: e['video_kbps'] for e in r.of('share')}
    ctx.note = f'{even} kbit/s each planned; by need {[shares.get(i) for i in range(3)]}'
    if not any(e['step'] == 'measure' for e in r.of('step')):
        problems.append('no first pass measured the inputs')
    if len(shares) != 3 or not shares[0] < even < shares[1]:
        problems.append(f'shares {shares}: the still input not below {even}, the next not above')
    return problems + check_dvd(iso, sources, 'pal', size, r.of('done')[0])


def video_payload(path):
    p = run(['ffmpeg', '-nostdin', '-v', 'error', '-i', path, '-map', '0:v:0', '-c', 'copy', '-f',
             'mpeg2video', '-'])
    return p.stdout


def check_copy(ctx):
    iso = os.path.join(ctx.work, 'copy.iso')
    work = os.path.join(ctx.work, 'copy.work')
    sources = [RIP, MAIN[0]]
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'pal', '--output', iso, '--work', work,
                           '--keep', '--json', *ctx.paths(sources)])
    problems = finished(r)
    if problems:
        return problems
    notes = [i['note'] for i in r.of('plan')[0]['inputs']]
    if not notes[0].startswith('copied') or notes[1].startswith('copied'):
        problems.append(f'the plan says {notes}')
    # The rip's pictures, byte for byte; the disc's stream is ended with a
    # sequence end code where the rip's was not.
    source, disc = video_payload(ctx.paths([RIP])[0]), video_payload(os.path.join(work, 'title-01.mpg'))
    if not source or disc not in (source, source + b'\x00\x00\x01\xb7'):
        problems.append(f'the copied video differs: {len(source)} bytes in the rip, {len(disc)} on the disc')
    ctx.note = f'{len(source)} bytes of video copied'
    return problems + check_dvd(iso, sources, 'pal', DVD5_BYTES, r.of('done')[0])


def check_chapters(ctx):
    iso = os.path.join(ctx.work, 'chapters.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'ntsc', '--chapters', '1', '--output', iso,
                           '--jobs', str(ctx.jobs), '--json', ctx.paths([LONG])[0]])
    problems = finished(r) or check_dvd(iso, [LONG], 'ntsc', DVD5_BYTES, r.of('done')[0])
    titles = lsdvd(iso) or [dict(chapters=[], languages=[])]
    # 64 s slowed to NTSC's film rate: the file's own marks at 20 and 40 s
    # scaled with it, then a minute in, each placed on a group of pictures
    # (half a second).
    slow = float(Fraction(25) / FILM)
    starts = [0, 20 * slow, 40 * slow, 60, seconds_on_disc(LONG, 'dvd', 'ntsc')]
    want = [b - a for a, b in zip(starts, starts[1:])]
    chapters = titles[0]['chapters']
    if len(chapters) != len(want) or any(abs(c - w) > 0.5 for c, w in zip(chapters, want)):
        problems.append(f'chapters of {chapters} s, not {[round(w, 2) for w in want]}')
    if titles[0]['languages'] != ['de']:
        problems.append(f'sound in {titles[0]["languages"]}, not German ["de"]')
    return problems


def field_levels(path):
    """Each field's mean brightness, in order."""
    p = run(['ffmpeg', '-nostdin', '-hide_banner', '-i', path, '-vf',
             'separatefields,signalstats,metadata=print:key=lavfi.signalstats.YAVG', '-an', '-f', 'null',
             '-'])
    return [float(v) for v in re.findall(rb'YAVG=([\d.]+)', p.stderr)]


def check_motion(ctx):
    """29.97i onto PAL keeps a moment a field: a source whose every field has
    a brightness of its own shows a new one in each of PAL's 50 fields a
    second, where deinterlacing a frame at a time would show 25."""
    src = os.path.join(ctx.work, 'sources', 'fields.mkv')
    p = run(['ffmpeg', '-nostdin', '-hide_banner', '-loglevel', 'error', '-y', '-f', 'lavfi', '-i',
             'color=c=black:s=320x240:r=60000/1001:d=3,geq=lum=16+mod(N*37\\,200):cb=128:cr=128,'
             'interlace=scan=tff:lowpass=0,setfield=tff', '-c:v', 'mpeg2video', '-q:v', '2',
             '-flags', '+ildct+ilme', '-top', '1', '-an', src])
    if p.returncode != 0:
        return [f'making the source: {p.stderr.decode(errors="replace")}']
    iso = os.path.join(ctx.work, 'motion.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'pal', '--output', iso, '--json', src])
    problems = finished(r)
    if problems:
        return problems
    vob = os.path.join(ctx.work, 'motion.vob')
    with open(vob, 'wb') as f:
        subprocess.run(['isoinfo', '-i', iso, '-x', '/VIDEO_TS/VTS_01_1.VOB;1'], stdout=f, timeout=120)
    levels = field_levels(vob)
    seconds = len(levels) / 50
    new = sum(abs(b - a) > 3 for a, b in zip(levels, levels[1:]))
    ctx.note = f'{new / seconds:.1f} moments a second in {len(levels)} fields'
    if not levels or new / seconds < 45:
        problems.append(f'{ctx.note}, not 50')
    return problems


def check_missing(ctx):
    bare = os.path.join(ctx.work, 'bare-path')
    os.makedirs(bare, exist_ok=True)
    for tool in ('ffmpeg', 'ffprobe'):
        if not os.path.exists(os.path.join(bare, tool)):
            os.symlink(shutil.which(tool), os.path.join(bare, tool))
    iso = os.path.join(ctx.work, 'missing.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--output', iso, *ctx.paths(MAIN[:1])],
                     env=dict(os.environ, PATH=bare), timeout=60)
    problems = []
    if r.rc != 3:
        problems.append(f'without dvdauthor: {r.said()}, not exit 3')
    if 'install the Debian package dvdauthor' not in r.err:
        problems.append(f'the message does not name dvdauthor\'s package: {r.err.strip()!r}')
    if os.path.exists(iso):
        problems.append('an image was made anyway')
    # Refused before anything is encoded: a folder that is not there, an
    # image that would be an input.
    clip = os.path.join(ctx.work, 'clip.bin')
    shutil.copyfile(ctx.paths(MAIN[:1])[0], clip)
    for args in (['--output', os.path.join(ctx.work, 'nowhere', 'x.iso'), clip],
                 ['--format', 'vcd', '--output', os.path.join(ctx.work, 'clip.cue'), clip]):
        r = quorvel_disc(ctx, args, timeout=60)
        if r.rc != 2 or r.of('encoded'):
            problems.append(f'{args}: {r.said()}, not exit 2')
    return problems


def check_menu(ctx):
    iso = os.path.join(ctx.work, 'menu.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'pal', '--menu', '--output', iso,
                           '--jobs', str(ctx.jobs), '--json', *ctx.paths(MAIN)])
    problems = finished(r) or check_dvd(iso, MAIN, 'pal', DVD5_BYTES, r.of('done')[0])
    # The menu lives in the disc's own VOB, which a disc without one lacks.
    listing = run(['isoinfo', '-l', '-i', iso]).stdout.decode(errors='replace')
    menu = re.search(r'(\d+)\s+\w{3}\s+\d+\s+\d{4}\s+\[[^\]]*\]\s+VIDEO_TS\.VOB;1', listing)
    if not menu or int(menu.group(1)) < 2048:
        problems.append('no menu: VIDEO_TS.VOB is missing or empty')
    return problems


def check_split(ctx):
    # The inputs need two discs at the lowest rate a DVD is planned at (1,200
    # kbit/s of video and 192 of audio): the DVD's 4 MiB reserve and room for
    # about two thirds of their running time.
    seconds = sum(seconds_on_disc(s, 'dvd', 'pal') for s in MAIN)
    size = 4 * 1024 * 1024 + int(seconds * 1392 / 8 * 1000 * 2 / 3)
    iso = os.path.join(ctx.work, 'split.iso')
    r = quorvel_disc(ctx, ['--format', 'dvd', '--standard', 'pal', '--disc', str(size), '--split',
                           '--output', iso, '--jobs', str(ctx.jobs), '--json', *ctx.paths(MAIN)])
    if r.rc != 0:
        return [f'quorvel-disc failed, {r.said()}']
    images = [os.path.join(ctx.work, f'split-{n}.iso') for n in (1, 2, 3)]
    made = [i for i in images if os.path.exists(i)]
    problems = [] if len(made) == 2 else [f'{len(made)} images, not 2']
    titles = []
    for image in made:
        if os.path.getsize(image) > size:
            problems.append(f'{os.path.basename(image)} is over the disc')
        titles += lsdvd(image) or []
    if len(titles) != len(MAIN):
        problems.append(f'{len(titles)} titles over the images, not {len(MAIN)}')
    ctx.note = f'{size}-byte discs: {len(made)} images'
    return problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--quorvel-disc', required=True)
    ap.add_argument('--jobs', type=int, default=2)
    ap.add_argument('--keep', help='keep the sources and images in this folder')
    opts = ap.parse_args()
    missing = proof_kit.missing_tools(TOOLS, 'disc_make')
    if missing:
        print(missing)
        return 1
    started = time.monotonic()
    work, tmp = proof_kit.work_folder(opts.keep, 'disc_make.')

    class Ctx:
        pass
    ctx = Ctx()
    ctx.disc, ctx.work, ctx.jobs, ctx.natural = os.path.abspath(opts.quorvel_disc), work, opts.jobs, {}
    src_dir = os.path.join(work, 'sources')
    os.makedirs(src_dir)
    paths = {s['name']: make_source(s, src_dir) for s in SOURCES + [LONG, STILL, RIP]}
    ctx.paths = lambda sources: [paths[s['name']] for s in sources]
    print(f'sources made in {time.monotonic() - started:.1f}s')

    checks = [
        ('dvd-pal', lambda: check_dvd_run(ctx, 'pal', MAIN, 'pal')),
        ('dvd-ntsc-silent', lambda: check_dvd_run(ctx, 'ntsc', SOURCES, 'ntsc')),
        ('vcd-ntsc', lambda: check_cd_run(ctx, 'vcd', 'ntsc', MAIN, 'vcd', True)),
        ('svcd-pal-silent-text', lambda: check_cd_run(ctx, 'svcd', 'pal', SOURCES, 'svcd', False)),
        ('chapters', lambda: check_chapters(ctx)),
        ('motion', lambda: check_motion(ctx)),
        ('resume', lambda: check_resume(ctx)),
        ('full-disc', lambda: check_full(ctx)),
        ('share-by-need', lambda: check_share(ctx)),
        ('copy', lambda: check_copy(ctx)),
        ('missing-tool', lambda: check_missing(ctx)),
        ('menu', lambda: check_menu(ctx)),
        ('split', lambda: check_split(ctx)),
    ]
    failures = 0
    for name, check in checks:
        t0 = time.monotonic()
        ctx.note = ''
        try:
            problems = check()
        except (OSError, subprocess.SubprocessError, ValueError, ET.ParseError) as e:
            problems = [f'{type(e).__name__}: {e}']
        failures += proof_kit.report(name, problems, time.monotonic() - t0, ctx.note)
    print(f'disc_make: {len(checks) - failures} passed, {failures} failed; '
          f'all {time.monotonic() - started:.1f}s')
    if tmp:
        tmp.cleanup()
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
