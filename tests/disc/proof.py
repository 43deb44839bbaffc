"""The encoding proof: every row of the rate table, for every format and
standard, made into a disc stream by the printed ffmpeg command and accepted
by dvdauthor (DVD) or vcdimager (VCD, SVCD).

For each case the planner prints the plan as JSON: with --quorvel-info,
quorvel-info --json --ffmpeg reading the file; with --driver, tests/disc/proof_driver
from the source's known facts. Given both, the driver plans only the sources a
file cannot describe to quorvel-info (driver_only, info_gap); given
--quorvel-info alone, those are left out. Its JSON holds U+FFFD for a name's
bytes that are not UTF-8: such args are matched through the shell's exact ones. The printed command runs through /bin/sh with an `ffmpeg`
first on PATH that records its arguments (which must equal the JSON's args,
byte for byte) and limits the output to one second. Then:
- ffprobe: codec, frame size, display aspect, rate, field order, audio (and
  that it is stereo);
- the first pack's mux rate; the MPEG sequence header and first picture:
  aspect code, bit rate and buffer size, progressive_sequence,
  top_field_first;
- cropdetect on the bright picture: the picture inside the borders is the
  planned Movie size within 2 pixels, centred;
- a source whose fields differ in colour keeps each field's luma and chroma
  on that field's lines of the interlaced output;
- dvdauthor or vcdimager accept the stream, dvdauthor without a word about
  the audio.

A DVD's encode writes the picture and the sound apart; the printed steps after
it rewrite the picture's flags (quorvel-disc, given by --quorvel-disc) and
multiplex both (mplex). Film onto an NTSC DVD is then soft pulldown: rate code
29.97 over the film's frames, and quorvel-info reads the stream back as film
under pulldown.

Usage: proof.py [--driver PATH] [--quorvel-info PATH] [--quorvel-disc PATH] [--jobs N] [--keep DIR]
                [-k TEXT]
"""
import argparse
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
import proof_kit  # noqa: E402
from fractions import Fraction

MATRIX_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'tools',
                           'set-mp4-matrix.py')
TOOLS = ('ffmpeg', 'ffprobe', 'mplex', 'dvdauthor', 'vcdimager', 'mkvpropedit')
FORMATS = ('vcd', 'svcd', 'dvd')
STANDARDS = ('pal', 'ntsc')
FILM, NTSC, NTSC60 = '24000/1001', '30000/1001', '60000/1001'

# The sources: what ffmpeg makes, and what a reader learns of it. `shape` is
# the picture as stored; `facts` are the planner's key=value inputs. Each is
# bright (white with a small test pattern) so that cropdetect sees the borders.
SOURCES = {
    # 16:9 progressive film, square pixels.
    'film_16x9': dict(size='1280x720', rate=FILM, ext='mp4', facts=dict(rate=FILM, scan='p')),
    # 4:3 progressive film at a whole 24.
    'film24_4x3': dict(size='640x480', rate='24', ext='mkv', facts=dict(rate='24', scan='p')),
    # Film carried at 29.97 by repeat_first_field flags (an MPEG-2 elementary
    # stream, so without sound: the command adds silence).
    'pulldown': dict(size='720x480', rate=FILM, ext='m2v', pulldown=True, sar='8:9',
                     facts=dict(rate=NTSC, scan='p', pulldown='1', film=FILM, sar='8:9', audio='none')),
    # An anamorphic 16:9 PAL rip.
    'pal_rip': dict(size='720x576', rate='25', ext='mkv', sar='64:45',
                    facts=dict(rate='25', scan='p', sar='64:45')),
    # Interlaced PAL, top field first (MPEG-2 program stream).
    'pal_tff': dict(size='720x576', rate='25', ext='mpg', sar='16:15', interlace='tff',
                    facts=dict(rate='25', scan='i', order='tff', sar='16:15')),
    # Interlaced PAL, bottom field first: a DV camcorder clip.
    'pal_dv_bff': dict(size='720x576', rate='25', ext='avi', sar='16:15', interlace='bff', dv=True,
                       facts=dict(rate='25', scan='i', order='bff', sar='16:15')),
    # Interlaced NTSC 16:9, top field first.
    'ntsc_tff': dict(size='720x480', rate=NTSC, ext='mpg', sar='32:27', interlace='tff',
                     facts=dict(rate=NTSC, scan='i', order='tff', sar='32:27')),
    # Interlaced NTSC, bottom field first: a DV camcorder clip.
    'ntsc_dv_bff': dict(size='720x480', rate=NTSC, ext='avi', sar='8:9', interlace='bff', dv=True,
                        facts=dict(rate=NTSC, scan='i', order='bff', sar='8:9')),
    # A phone held upright: 1920x1080 turned a quarter, at 29.97.
    'phone_rotated': dict(size='1920x1080', rate=NTSC, ext='mp4', rotate=90,
                          facts=dict(rate=NTSC, scan='p', rotation='90')),
    # 30 progressive, letterboxed to 2.37:1, its bars cropped by the file's own crop.
    'cropped_30': dict(size='1280x720', rate='30', ext='mkv', bars=(0, 90, 0, 90),
                       facts=dict(rate='30', scan='p', crop='0,90,0,90')),
    # 50 progressive.
    'p50': dict(size='1280x720', rate='50', ext='mp4', facts=dict(rate='50', scan='p')),
    # 59.94 progressive.
    'p5994': dict(size='1280x720', rate=NTSC60, ext='mkv', facts=dict(rate=NTSC60, scan='p')),
    # 60 progressive, 4:3.
    'p60_4x3': dict(size='640x480', rate='60', ext='mkv', facts=dict(rate='60', scan='p')),
    # A rate the file does not say: time stamps that wander, no default duration.
    'unknown_rate': dict(size='640x360', rate='25', ext='mkv', facts=dict(rate='none', scan='p')),
    # A rate no disc has.
    'p15': dict(size='640x480', rate='15', ext='mkv', facts=dict(rate='15', scan='p')),
    # Interlaced NTSC at 2.21:1, each field its own colour (top light and blue,
    # bottom dark and red): letterboxed on 16:9 DVD and 4:3 SVCD, whose borders
    # were 2 lines off a multiple of 4, a chroma line: the fields' colours swapped.
    'scope_fields': dict(size='720x480', rate=NTSC, ext='mpg', sar='221:150', interlace='tff',
                         fields=True, only=(('dvd', 'ntsc'), ('svcd', 'ntsc')),
                         facts=dict(rate=NTSC, scan='i', order='tff', sar='221:150')),
    # Mono sound: SVCD's MP2 at 224 kbit/s is stereo only.
    'mono': dict(size='320x240', rate='25', ext='mkv', channels=1, only=(('svcd', 'pal'),),
                 facts=dict(rate='25', scan='p')),
    # 5.1 Vorbis, whose time stamps jitter: DVD's AC-3 is stereo, its time
    # stamps steady.
    'surround_vorbis': dict(size='320x240', rate='25', ext='mkv', channels=6, acodec='libvorbis',
                            only=(('dvd', 'pal'),), facts=dict(rate='25', scan='p')),
    # A phone clip turned a quarter whose stored picture has bars of two widths
    # left and right: the crop is turned with the picture, the wider bar to the
    # top. (MP4 without a clap box: the crop is the driver's only.)
    'phone_cropped': dict(size='1920x1080', rate=NTSC, ext='mp4', rotate=90, bars=(300, 0, 180, 0),
                          driver_only=True,
                          facts=dict(rate=NTSC, scan='p', rotation='90', crop='300,0,180,0')),
}

# Extra plans on some sources: DVD's other widths, and a disc budget.
EXTRAS = [
    ('pal_rip', 'dvd', 'pal', dict(dvd_width='704')),
    ('ntsc_tff', 'dvd', 'ntsc', dict(dvd_width='704')),
    ('film24_4x3', 'dvd', 'pal', dict(dvd_width='352', disc='dvd5', duration_ms='10800000')),
    ('p5994', 'dvd', 'ntsc', dict(dvd_width='352')),
    ('film_16x9', 'dvd', 'ntsc', dict(disc='dvd5', duration_ms='7200000')),
    ('pal_tff', 'svcd', 'pal', dict(disc='cd80', duration_ms='3600000', audio_kbps='128')),
    ('p50', 'vcd', 'pal', dict(disc='cd74', duration_ms='2400000')),
]

# The fields' colours of a `fields` source: (Y, Cb, Cr) of the top field's
# lines, then of the bottom field's.
FIELDS = ((170, 190, 90), (100, 70, 170))

# The first pack's mux rate, in 50 bytes a second: VCD's 2,352 x 75 as its
# standard writes it, SVCD's 150 packs of 2,324 bytes (a 2x CD), DVD's 10.08 Mbit/s.
MUX_RATE = {'vcd': 3528, 'svcd': 6972, 'dvd': 25200}

# A name a shell would mangle three ways, and a byte that is not UTF-8.
NASTY = b"it's a \"clip\" $HOME `x` \\ \xff.mpg"


def row_of(facts):
    """The table's row, from the facts alone (not from the planner)."""
    rate, scan = facts.get('rate', 'none'), facts.get('scan')
    if facts.get('pulldown') == '1':
        return 'film'
    return {FILM: 'film', '24': 'film24', '25': 'p25' if scan != 'i' else 'i25',
            NTSC: 'p30' if scan != 'i' else 'i30', '30': 'p30w' if scan != 'i' else 'i30w',
            '50': 'p50', NTSC60: 'p60', '60': 'p60w', 'none': 'unknown'}.get(rate, 'other')


def expected(facts, fmt, std):
    """Rate, field order ('progressive', 'tt', 'bb'), whether the speed changes
    (audio tempo), and whether the plan must say it converts."""
    row = row_of(facts)
    order = {'tff': 'tt', 'bff': 'bb'}.get(facts.get('order'), 'tt')
    fields = fmt != 'vcd'
    if std == 'pal':
        interlaced = fields and row in ('i25', 'i30', 'i30w', 'p50', 'p60', 'p60w')
        return dict(rate='25', order=(order if row == 'i25' else 'tt') if interlaced else 'progressive',
                    tempo=row in ('film', 'film24'),
                    note=row in ('i30', 'p30', 'i30w', 'p30w', 'p60', 'p60w', 'other'), soft=False)
    filmish = row in ('film', 'film24', 'p25', 'i25')
    rate = FILM if fmt == 'vcd' and filmish else NTSC
    # Film onto an NTSC DVD: its frames at their own rate, shown 2:3 by flags.
    soft = fmt == 'dvd' and row in ('film', 'film24', 'p25')
    interlaced = fields and not soft and row in ('film', 'film24', 'p25', 'i25', 'i30', 'i30w', 'p50', 'p60',
                                                 'p60w')
    return dict(rate=rate, order=(order if row in ('i30', 'i30w') else 'tt') if interlaced else 'progressive',
                tempo=row in ('film24', 'p25', 'p30w', 'i30w', 'p60w') or (row == 'i25' and not fields),
                note=row in ('i25', 'p50', 'other') or soft, soft=soft)


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120, **kw)


def make_source(name, src, folder):
    """Encodes two seconds of the source; returns its path."""
    w, h = (int(v) for v in src['size'].split('x'))
    rate = src['rate']
    bars = src.get('bars', (0, 0, 0, 0))
    pw, ph = w - bars[0] - bars[2], h - bars[1] - bars[3]
    graph = (f"color=c=white:s={pw}x{ph}:r={rate}:d=2[bg];"
             f"testsrc2=s=160x120:r={rate}:d=2[ts];[bg][ts]overlay=(W-w)/2:(H-h)/2")
    if src.get('fields'):
        # 4:2:0 chroma lines alternate between the fields as the luma lines do.
        graph = (f"color=s={pw}x{ph}:r={rate}:d=2,format=yuv420p,"
                 f"geq=lum='if(mod(Y,2),{FIELDS[1][0]},{FIELDS[0][0]})'"
                 f":cb='if(mod(Y,2),{FIELDS[1][1]},{FIELDS[0][1]})'"
                 f":cr='if(mod(Y,2),{FIELDS[1][2]},{FIELDS[0][2]})'")
    if bars != (0, 0, 0, 0):
        graph += f",pad={w}:{h}:{bars[0]}:{bars[1]}:black"
    if 'sar' in src:
        graph += f",setsar={src['sar'].replace(':', '/')}"
    path = os.path.join(folder, f'{name}.{src["ext"]}')
    video = []
    if src.get('dv'):
        video = ['-c:v', 'dvvideo', '-pix_fmt', 'yuv420p' if h == 576 else 'yuv411p']
    elif src.get('interlace'):
        graph += f",setfield={src['interlace']}"
        video = ['-c:v', 'mpeg2video', '-b:v', '6000k', '-flags', '+ildct+ilme',
                 '-top', '1' if src['interlace'] == 'tff' else '0']
    elif src.get('pulldown'):
        video = ['-c:v', 'mpeg2video', '-bf', '0', '-b:v', '5000k', '-maxrate', '8000k',
                 '-bufsize', '1835008']
    else:
        video = ['-c:v', 'mpeg4', '-q:v', '4']
    audio = ['-f', 'lavfi', '-i', 'sine=f=440:d=2:r=48000']
    acodec = {'avi': ['-c:a', 'pcm_s16le'], 'mp4': ['-c:a', 'aac'], 'mkv': ['-c:a', 'mp2'],
              'mpg': ['-c:a', 'mp2'], 'm2v': []}[src['ext']]
    if 'acodec' in src:
        acodec = ['-c:a', src['acodec']]
    if 'channels' in src:
        acodec += ['-ac', str(src['channels'])]
    if src['ext'] == 'm2v':
        audio = []
    extra = []
    if name == 'unknown_rate':
        # Time stamps that wander, so the file states no constant rate.
        graph += ",setpts='(N*40+mod(N*7,11))/1000/TB'"
        extra += ['-vsync', 'vfr']
    target = path + '.tmp.m2v' if src.get('pulldown') else path
    cmd = ['ffmpeg', '-nostdin', '-hide_banner', '-loglevel', 'error', '-y', '-filter_complex', graph,
           *audio, *video, *acodec, *extra, '-t', '2', target]
    p = run(cmd)
    if p.returncode != 0:
        raise RuntimeError(f'making {name}: {p.stderr.decode(errors="replace")}')
    if src.get('pulldown'):
        with open(target, 'rb') as f:
            data = soft_pulldown(f.read())
        with open(path, 'wb') as f:
            f.write(data)
        os.remove(target)
    if src.get('rotate') == 90:
        # ffmpeg's muxer writes no display matrix: the project's tool sets it.
        p = run([sys.executable, MATRIX_TOOL, path, path, '0', '65536', '0', '-65536', '0'])
        if p.returncode != 0:
            raise RuntimeError(f'turning {name}: {p.stderr.decode(errors="replace")}')
    if name == 'unknown_rate':
        # ffmpeg still writes the nominal frame duration; without it the
        # file states no rate at all.
        p = run(['mkvpropedit', path, '--edit', 'track:v1', '--delete', 'default-duration'])
        if p.returncode != 0:
            raise RuntimeError(f'unrating {name}: {p.stderr.decode(errors="replace")}')
    if src['ext'] == 'mkv' and 'bars' in src:
        b = src['bars']
        p = run(['mkvpropedit', path, '--edit', 'track:v1',
                 '--set', f'pixel-crop-left={b[0]}', '--set', f'pixel-crop-top={b[1]}',
                 '--set', f'pixel-crop-right={b[2]}', '--set', f'pixel-crop-bottom={b[3]}'])
        if p.returncode != 0:
            raise RuntimeError(f'cropping {name}: {p.stderr.decode(errors="replace")}')
    return path


def soft_pulldown(es):
    """A 24000/1001 MPEG-2 stream without B-frames made 30000/1001 by flags:
    frame rate code 4, progressive_sequence 0, and each picture's
    top_field_first and repeat_first_field in the 2:3 pattern."""
    b = bytearray(es)
    i = n = 0
    while True:
        i = b.find(b'\x00\x00\x01', i)
        if i < 0 or i + 9 > len(b):
            break
        code, p = b[i + 3], i + 4
        if code == 0xB3:
            b[p + 3] = (b[p + 3] & 0xF0) | 4
        elif code == 0xB5 and b[p] >> 4 == 1:
            b[p + 1] &= ~0x08 & 0xFF
        elif code == 0xB5 and b[p] >> 4 == 8:
            tff, rff = ((1, 1), (0, 0), (0, 1), (1, 0))[n % 4]
            n += 1
            b[p + 3] = (b[p + 3] & ~0x82 & 0xFF) | (tff << 7) | (rff << 1)
            b[p + 4] |= 0x80
        i += 4
    return bytes(b)


SHIM = r'''#!/bin/sh
# Records the arguments as the shell handed them over (one per NUL), then runs
# the real ffmpeg with the proof's limits before each output: the last
# argument, and the video stream a DVD's encode writes apart.
for a do printf '%s\0' "$a"; done > "$QUORVEL_PROOF_ARGV"
n=$#
i=0
prev=
for a do
    i=$((i + 1))
    if [ "$i" -eq "$n" ] || [ "$prev" = mpeg2video ]; then
        set -- "$@" -threads 1 -t 1 "$a"
    else
        set -- "$@" "$a"
    fi
    prev=$a
    shift
done
exec "$QUORVEL_PROOF_FFMPEG" -nostdin -y -hide_banner -debug_ts "$@"
'''


def field_colours(ffmpeg, path, tv, movie):
    """Mean Y, Cb and Cr of the top field's lines and of the bottom field's
    inside the picture (16 lines in from its edges), on a frame half a second
    in, as the stream codes them: the output's chroma line k belongs to field
    k % 2, as its luma line k does."""
    w, h = tv['width'], tv['height']
    p = run([ffmpeg, '-nostdin', '-v', 'error', '-ss', '0.5', '-i', path, '-frames:v', '1',
             '-f', 'rawvideo', '-pix_fmt', 'yuv420p', '-'])
    if len(p.stdout) < w * h * 3 // 2:
        return None
    top = (h - movie['height']) // 2 + 16 & ~3
    bottom = top + movie['height'] - 32 & ~3
    left, right = (w - movie['width']) // 2, (w + movie['width']) // 2
    planes = ((p.stdout, w, 1), (p.stdout[w * h:], w // 2, 2), (p.stdout[w * h * 5 // 4:], w // 2, 2))
    fields = ([], [])
    for data, stride, sub in planes:
        for field in (0, 1):
            rows = range(top // sub + field, bottom // sub, 2)
            total = sum(sum(data[r * stride + left // sub:r * stride + right // sub]) for r in rows)
            fields[field].append(total / (len(rows) * (right - left) // sub))
    return fields


def from_quorvel_info(report):
    """The members check_case reads, from quorvel-info's JSON object for one
    file (one target asked for): row, tv, movie, aspect, rate, field_order,
    speed, video_kbps, peak_kbps, audio {codec, kbps, sample_rate}, note,
    warning and ffmpeg {filter, args, command}: the target's sizes and aspect,
    the rest from its ffmpeg object."""
    t = report['targets'][0]
    f = t['ffmpeg']
    plan = {k: f[k] for k in ('rate', 'field_order', 'speed', 'video_kbps', 'peak_kbps', 'audio', 'warning')}
    plan.update(row=f['rate_row'], tv=t['tv'], movie=t['movie'], aspect=t['aspect'], note=f['note'] or '',
                ffmpeg=f)
    return plan


def check_case(case, ctx):
    """Runs one case; returns (name, problems, notes, seconds)."""
    started = time.monotonic()
    name, problems, notes = case['name'], [], []
    out_dir = os.path.join(ctx.work, 'out', name)
    os.makedirs(out_dir)
    facts = case['facts']
    fmt, std = case['format'], case['standard']
    want = expected(facts, fmt, std)
    # quorvel-info plans from the file itself; the driver from the known facts.
    use_info = ctx.info and not case['by_driver']
    if use_info:
        cmd = [ctx.info, '--json', '--ffmpeg', '--format', case['format'], '--standard', case['standard'],
               '--output', out_dir]
        for key in ('dvd_width', 'disc', 'audio_kbps'):
            if key in case['options']:
                cmd += ['--' + key.replace('_', '-'), case['options'][key]]
        cmd.append(case['path'])
    else:
        cmd = [ctx.driver, b'path=' + case['path'], 'out=' + out_dir, f'format={case["format"]}',
               f'standard={case["standard"]}', f'width={case["width"]}', f'height={case["height"]}',
               *(f'{k}={v}' for k, v in facts.items()), *(f'{k}={v}' for k, v in case['options'].items())]
    p = run(cmd)
    if p.returncode != 0:
        return name, [f'planner failed: {p.stderr.decode(errors="replace").strip()}'], notes, 0
    plan = json.loads(p.stdout.decode('utf-8').splitlines()[0])
    if use_info:
        plan = from_quorvel_info(plan)
    args = [os.fsencode(a) for a in plan['ffmpeg']['args']]
    command = os.fsencode(plan['ffmpeg']['command'])
    output = args[-1][5:] if args[-1].startswith(b'file:') else args[-1]

    argv_file = os.path.join(out_dir, 'argv')
    env = dict(os.environ, PATH=ctx.shim_dir + os.pathsep + os.environ.get('PATH', ''),
               QUORVEL_PROOF_ARGV=argv_file, QUORVEL_PROOF_FFMPEG=ctx.ffmpeg)
    p = subprocess.run(command, shell=True, cwd=out_dir, env=env, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, timeout=300)
    if p.returncode != 0:
        tail = p.stderr.decode(errors='replace').strip().splitlines()[-3:]
        return name, [f'ffmpeg failed: {" | ".join(tail)}'], notes, time.monotonic() - started
    # Then the flags rewritten and the streams multiplexed, as printed.
    for line in plan['ffmpeg'].get('then', []):
        step = subprocess.run(os.fsencode(line), shell=True, cwd=out_dir, env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300)
        if step.returncode != 0:
            tail = step.stderr.decode(errors='replace').strip().splitlines()[-2:]
            return name, [f'{line.split()[0]} failed: {" | ".join(tail)}'], notes, time.monotonic() - started
    # An MPEG-2 stream a DVD takes as it is goes on copied: no filters, no rates.
    copied = bool(plan['ffmpeg'].get('copied'))
    if copied != (use_info and fmt == 'dvd' and std == 'ntsc' and case['source'] == 'pulldown'):
        problems.append(f'copied: {plan["ffmpeg"].get("copied")!r}')
    if want['soft'] != (plan['ffmpeg'].get('flags') == 'pulldown'):
        problems.append(f'flags {plan["ffmpeg"].get("flags")}; the table {"has" if want["soft"] else "has no"} '
                        'soft pulldown')
    # The filters deliver the disc's rate themselves: ffmpeg's own rate keeping
    # drops nothing and repeats at most the first frame, where a source's video
    # starts a little after its sound (B-frame delay). An unknown rate is left
    # to it.
    stats = dict(re.findall(rb'(dup|drop)=\s*(\d+)', p.stderr))
    dup, drop = int(stats.get(b'dup', 0)), int(stats.get(b'drop', 0))
    if (dup > 1 or drop > 0) and facts.get('rate') != 'none' and not copied:
        problems.append(f'ffmpeg repeated {dup} and dropped {drop} frames')
    # And at the rate itself: the frames out of the filters (which -debug_ts
    # shows, unrounded, in the output's time base) come one output frame apart
    # on average, past the first two (where a late video start shows); a
    # source's millisecond time stamps may jitter each a little.
    rate = Fraction(FILM if want['soft'] else want['rate'])
    base = f'time_base:{rate.denominator}/{rate.numerator}'.encode()
    exact = [float(m) for m in re.findall(rb'^filter -> pts:\d+ .* exact:(\S+) ' + re.escape(base),
                                          p.stderr, re.M)]
    if facts.get('rate') != 'none' and not copied:
        spacing = (exact[-1] - exact[2]) / (len(exact) - 3) if len(exact) > 20 else 0
        if abs(spacing - 1) > 0.005:
            problems.append(f'the filters give {len(exact)} frames {spacing:.3f} output frames '
                            f'apart, not {want["rate"]} fps')
    with open(argv_file, 'rb') as f:
        got = f.read().split(b'\0')[:-1]
    if use_info and not plan['ffmpeg']['args_exact']:
        # JSON holds U+FFFD for each byte of a name that is not UTF-8; the
        # command holds the byte itself. The rest must match exactly.
        if [g.decode('utf-8', 'replace').encode() for g in got] == args[1:]:
            args = args[:1] + got
            output = args[-1][5:] if args[-1].startswith(b'file:') else args[-1]
    if got != args[1:]:
        problems.append(f'the shell gave ffmpeg {got!r}, the args are {args[1:]!r}')
    out_path = os.path.join(out_dir, output) if not os.path.isabs(output) else output
    if plan['ffmpeg'].get('then'):
        # mplex wrote it: the one disc stream in the case's folder.
        made = [f for f in os.listdir(os.fsencode(out_dir)) if f.endswith(b'.mpg')]
        out_path = os.path.join(os.fsencode(out_dir), made[0]) if len(made) == 1 else b'(none)'

    tv, movie = plan['tv'], plan['movie']
    wide = plan['aspect'] == '16:9'
    if Fraction(plan['rate']) != Fraction(want['rate']):
        problems.append(f'planned rate {plan["rate"]}, the table says {want["rate"]}')
    if plan['field_order'] != want['order']:
        problems.append(f'planned fields {plan["field_order"]}, the table says {want["order"]}')
    audio_filter = args[args.index(b'-af') + 1] if b'-af' in args else b''
    has_tempo = b'atempo=' in audio_filter
    if has_tempo != want['tempo']:
        problems.append(f'audio tempo {"set" if has_tempo else "not set"}; the table '
                        f'{"changes" if want["tempo"] else "keeps"} the speed')
    if want['note'] and not plan['note']:
        problems.append('a standards conversion without a note')

    probe = run(['ffprobe', '-v', 'error', '-show_entries',
                 'stream=codec_type,codec_name,width,height,r_frame_rate,field_order,'
                 'display_aspect_ratio,sample_rate,bit_rate,channels', '-of', 'json', out_path])
    streams = json.loads(probe.stdout or b'{}').get('streams', [])
    video = next((s for s in streams if s.get('codec_type') == 'video'), None)
    audio = next((s for s in streams if s.get('codec_type') == 'audio'), None)
    if video is None:
        return name, problems + ['no video stream'], notes, time.monotonic() - started
    codec = 'mpeg1video' if fmt == 'vcd' else 'mpeg2video'
    if video['codec_name'] != codec:
        problems.append(f'codec {video["codec_name"]}, not {codec}')
    if (video['width'], video['height']) != (tv['width'], tv['height']):
        problems.append(f'frame {video["width"]}x{video["height"]}, not {tv["width"]}x{tv["height"]}')
    # ffprobe gives a soft pulldown stream's rate as its field rate (a
    # repeated field lasts half a frame).
    shown = Fraction(video['r_frame_rate']) / (2 if want['soft'] else 1)
    if shown != Fraction(want['rate']):
        problems.append(f'rate {shown}, not {want["rate"]}')
    headers = proof_kit.mpeg_headers(out_path)
    if headers.get('mux_rate') != MUX_RATE[fmt]:
        problems.append(f'mux rate {headers.get("mux_rate")} x 50 bytes/s, not {MUX_RATE[fmt]}')
    if fmt == 'vcd':
        # MPEG-1 states a pixel shape: BT.601's 625- and 525-line 4:3 codes.
        code = 8 if std == 'pal' else 12
        if headers.get('aspect_code') != code:
            problems.append(f'pixel shape code {headers.get("aspect_code")}, not 4:3\'s {code}')
        if headers.get('bit_rate') != 1_150_000 or headers.get('vbv') != 327_680:
            problems.append(f'VCD header says {headers.get("bit_rate")} bit/s, buffer {headers.get("vbv")}')
    else:
        code = 3 if wide else 2
        if headers.get('aspect_code') != code or video.get('display_aspect_ratio') != plan['aspect']:
            problems.append(f'display aspect {video.get("display_aspect_ratio")} (code '
                            f'{headers.get("aspect_code")}), not {plan["aspect"]}')
        peak = plan['peak_kbps'] * 1000
        stated = headers.get('bit_rate', 0)
        if not (stated <= peak if copied else peak <= stated < peak + 400) or headers.get('vbv') != 1_835_008:
            problems.append(f'header says {headers.get("bit_rate")} bit/s, buffer {headers.get("vbv")}; '
                            f'the peak is {peak}')
        interlaced = want['order'] != 'progressive'
        # DVD-Video wants 0 whatever the frames are.
        if headers.get('progressive_sequence') != (0 if interlaced or fmt == 'dvd' else 1):
            problems.append(f'progressive_sequence {headers.get("progressive_sequence")}')
        if want['soft'] and (headers.get('rate_code'), headers.get('top_field_first')) != (4, 1):
            problems.append(f'soft pulldown with rate code {headers.get("rate_code")}, first picture '
                            f'top_field_first {headers.get("top_field_first")}')
        if want['soft'] and ctx.info and b'"pulldown":true' not in run([ctx.info, '--json', out_path]).stdout:
            problems.append('quorvel-info does not read the stream as film under pulldown')
        if interlaced:
            tff = 1 if want['order'] == 'tt' else 0
            if headers.get('top_field_first') != tff or headers.get('progressive_frame') != 0:
                problems.append(f'first picture top_field_first {headers.get("top_field_first")}, '
                                f'progressive_frame {headers.get("progressive_frame")}')
        if video.get('field_order') != want['order']:
            problems.append(f'field order {video.get("field_order")}, not {want["order"]}')
    for key, value in () if copied else ((b'-b:v', plan['video_kbps']), (b'-maxrate:v', plan['peak_kbps'])):
        if key not in args or args[args.index(key) + 1] != f'{value}k'.encode():
            problems.append(f'{key.decode()} is not the plan\'s {value}k')
    if audio is None:
        problems.append('no audio stream')
    else:
        a = plan['audio']
        if (audio['codec_name'], int(audio['sample_rate']), int(audio.get('bit_rate', 0))) != \
                (a['codec'], a['sample_rate'], a['kbps'] * 1000):
            problems.append(f'audio {audio["codec_name"]} {audio["sample_rate"]} Hz {audio.get("bit_rate")} '
                            f'bit/s, not {a["codec"]} {a["sample_rate"]} {a["kbps"]}k')
        if audio.get('channels') != 2:
            problems.append(f'{audio.get("channels")} audio channels, not 2')

    # The picture inside the borders, as cropdetect finds it on the last frames.
    p = run([ctx.ffmpeg, '-nostdin', '-hide_banner', '-i', out_path, '-vf',
             'cropdetect=limit=24:round=2:reset=0', '-f', 'null', '-'])
    found = re.findall(rb'crop=(\d+):(\d+):(\d+):(\d+)', p.stderr)
    if not found:
        problems.append('cropdetect found nothing')
    else:
        cw, ch, cx, cy = (int(v) for v in found[-1])
        mw, mh = movie['width'], movie['height']
        px, py = (tv['width'] - mw) // 2, (tv['height'] - mh) // 2
        if abs(cw - mw) > 2 or abs(ch - mh) > 2 or abs(cx - px) > 2 or abs(cy - py) > 2:
            problems.append(f'picture {cw}x{ch} at {cx},{cy}; planned {mw}x{mh} at {px},{py}')

    if case['fields'] and want['order'] != 'progressive':
        got_fields = field_colours(ctx.ffmpeg, out_path, tv, movie)
        # Each field's own colour, within a third of the difference.
        near = got_fields and all(abs(g - w) < abs(FIELDS[0][i] - FIELDS[1][i]) / 3
                                  for f in (0, 1) for i, (g, w) in enumerate(zip(got_fields[f], FIELDS[f])))
        if not near:
            problems.append(f'fields (Y, Cb, Cr) {got_fields}, not {FIELDS}')

    author_dir = os.path.join(out_dir, 'disc')
    if fmt == 'dvd':
        env = dict(os.environ, VIDEO_FORMAT=std.upper())
        steps = [['dvdauthor', '-o', author_dir, '-t', out_path], ['dvdauthor', '-o', author_dir, '-T']]
    else:
        steps = [['vcdimager', '-t', 'vcd2' if fmt == 'vcd' else 'svcd', '-c',
                  os.path.join(out_dir, 'disc.cue'), '-b', os.path.join(out_dir, 'disc.bin'), out_path]]
        env = None
    for step in steps:
        p = run(step, env=env, cwd=out_dir)
        said = (p.stdout + p.stderr).decode(errors='replace')
        errors = [l for l in said.splitlines() if l.startswith('ERR') or ' error' in l.lower()
                  or l.startswith('**')]
        if p.returncode != 0 or errors:
            problems.append(f'{step[0]} refused it: {" | ".join(errors or said.splitlines()[-2:])}')
            break
        warned = [l.strip() for l in said.splitlines() if l.startswith('WARN') or l.startswith('++ WARN')]
        notes += [f'{step[0]}: {l}' for l in warned]
        # Audio time stamps that jump ("Discontinuity ... in audio", "audio pts
        # moves backwards"): the multiplex's audio does not follow its clock.
        if step[0] == 'dvdauthor' and any('audio' in l for l in warned):
            problems.append(f'{step[0]} on the audio: {" | ".join(l for l in warned if "audio" in l)}')
    if not ctx.keep:
        shutil.rmtree(out_dir, ignore_errors=True)
    return name, problems, notes, time.monotonic() - started


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--driver')
    ap.add_argument('--quorvel-info')
    ap.add_argument('--quorvel-disc', help='runs the printed flag rewrites')
    ap.add_argument('--jobs', type=int, default=2)
    ap.add_argument('--keep', help='keep the sources and outputs in this folder')
    ap.add_argument('-k', help='only the cases whose name holds this')
    opts = ap.parse_args()
    missing = proof_kit.missing_tools(TOOLS, 'disc_proof')
    if missing:
        print(missing)
        return 1
    if not opts.driver and not opts.quorvel_info:
        print('give --driver or --quorvel-info')
        return 1
    started = time.monotonic()
    work, tmp = proof_kit.work_folder(opts.keep, 'disc_proof.')

    class Ctx:
        pass
    ctx = Ctx()
    ctx.work, ctx.keep, ctx.info = work, bool(opts.keep), opts.quorvel_info
    ctx.driver = os.path.abspath(opts.driver) if opts.driver else None
    ctx.ffmpeg = shutil.which('ffmpeg')
    ctx.shim_dir = os.path.join(work, 'shim')
    os.makedirs(ctx.shim_dir)
    if opts.quorvel_disc:
        # The printed steps name quorvel-disc as installed.
        os.symlink(os.path.abspath(opts.quorvel_disc), os.path.join(ctx.shim_dir, 'quorvel-disc'))
    with open(os.path.join(ctx.shim_dir, 'ffmpeg'), 'w') as f:
        f.write(SHIM)
    os.chmod(os.path.join(ctx.shim_dir, 'ffmpeg'), 0o755)
    src_dir = os.path.join(work, 'sources')
    os.makedirs(src_dir)

    nasty = os.path.join(os.fsencode(src_dir), NASTY)
    cases = []

    def add(source, fmt, std, options=None, nasty_name=False):
        src = SOURCES[source]
        w, h = src['size'].split('x')
        opt = options or {}
        suffix = ''.join(f'-{k}={v}' for k, v in opt.items())
        label = '-nasty-name' if nasty_name else ''
        cases.append(dict(name=f'{source}{label}-{std}-{fmt}{suffix}', source=source, format=fmt,
                          standard=std, facts=src['facts'], options=opt, width=w, height=h,
                          nasty=nasty_name, fields=bool(src.get('fields'))))
    for source in SOURCES:
        for fmt in FORMATS:
            for std in STANDARDS:
                # A source made for one check goes only where that check is.
                if (fmt, std) in SOURCES[source].get('only', ((fmt, std),)):
                    add(source, fmt, std)
    for source, fmt, std, options in EXTRAS:
        add(source, fmt, std, options)
    add('pal_tff', 'dvd', 'pal', nasty_name=True)
    add('pal_tff', 'vcd', 'ntsc', nasty_name=True)
    for c in cases:
        src = SOURCES[c['source']]
        c['by_driver'] = bool(src.get('driver_only') or src.get('info_gap'))
    if opts.quorvel_info and not opts.driver:
        # Facts the files cannot carry, or quorvel-info's readers do not yet
        # read, stay the driver's: without it those cases are left out.
        for source in sorted({c['source'] for c in cases if c['by_driver']}):
            print(f'left out {source}: {SOURCES[source].get("info_gap") or "needs the driver"}')
        cases = [c for c in cases if not c['by_driver']]
    if opts.k:
        cases = [c for c in cases if opts.k in c['name']]

    # Only the sources the cases use.
    needed = sorted({c['source'] for c in cases})
    with concurrent.futures.ThreadPoolExecutor(opts.jobs) as pool:
        paths = dict(zip(needed, pool.map(lambda n: make_source(n, SOURCES[n], src_dir), needed)))
    for c in cases:
        if c['nasty'] and not os.path.exists(nasty):
            shutil.copyfile(paths[c['source']], nasty)
        c['path'] = nasty if c['nasty'] else os.fsencode(paths[c['source']])
    made = time.monotonic() - started

    failures = 0
    warnings = {}
    with concurrent.futures.ThreadPoolExecutor(opts.jobs) as pool:
        for name, problems, notes, seconds in pool.map(lambda c: check_case(c, ctx), cases):
            for note in notes:
                warnings[note] = warnings.get(note, 0) + 1
            failures += proof_kit.report(name, problems, seconds)
    for note, count in sorted(warnings.items()):
        print(f'said {count}x: {note}')
    print(f'{len(cases)} cases, {failures} failed; sources {made:.1f}s, '
          f'all {time.monotonic() - started:.1f}s')
    if tmp:
        tmp.cleanup()
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
