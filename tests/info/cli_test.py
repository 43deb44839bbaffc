"""quorvel-info as a process: stdout, stderr and exit status, as scripts see them.

Usage: cli_test.py PROGRAM SAMPLE_FOLDER
"""
import json
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

PROGRAM, SAMPLES = sys.argv[1], sys.argv[2]


def chunk(tag, body):
    return tag + struct.pack('<I', len(body)) + body + b'\0' * (len(body) % 2)


def avi(w, h, rate, scale):
    """A RIFF AVI with one video stream and one empty frame."""
    avih = struct.pack('<14I', 1000000 * scale // max(rate, 1), 0, 0, 0x10, 1, 0, 1, 0, w, h, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIII4H', b'vids', b'DIB ', 0, 0, 0, 0, scale, rate, 0, 1, 0,
                       0xFFFFFFFF, 0, 0, 0, w & 0xFFFF, h & 0xFFFF)
    strf = struct.pack('<IIIHHIIIIII', 40, w, h, 1, 24, 0, 0, 0, 0, 0, 0)
    strl = chunk(b'LIST', b'strl' + chunk(b'strh', strh) + chunk(b'strf', strf))
    hdrl = chunk(b'LIST', b'hdrl' + chunk(b'avih', avih) + strl)
    return chunk(b'RIFF', b'AVI ' + hdrl + chunk(b'LIST', b'movi' + chunk(b'00db', b'')))


def run(*args, stdout=subprocess.PIPE, input=None):
    p = subprocess.run([PROGRAM, *args], stdin=subprocess.DEVNULL if input is None else None, input=input,
                       stdout=stdout, stderr=subprocess.PIPE, timeout=20)
    return p.returncode, (p.stdout or b'').decode('utf-8', 'surrogateescape'), p.stderr.decode('utf-8', 'replace')


def objects(out):
    # The JSON form is valid UTF-8 whatever the paths held: decode it strictly.
    return [json.loads(line.encode('utf-8', 'surrogateescape').decode('utf-8')) for line in out.splitlines()]


class TempDir(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = os.fsencode(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, data):
        path = os.path.join(self.dir, name)
        with open(path, 'wb') as f:
            f.write(data)
        return path


class Files(TempDir):
    def test_reads_files_as_the_window_shows_them(self):
        # w, h, rate, scale, class, standard, TV, Movie (the window's answers)
        table = [(640, 480, 30000, 1001, 'NTSC video', 'NTSC', [720, 480], [640, 480]),
                 (352, 288, 25, 1, 'PAL', 'PAL', [720, 576], [704, 576]),
                 (1280, 720, 24000, 1001, 'NTSC film', 'NTSC', [720, 480], [720, 405]),
                 (640, 272, 24, 1, 'NTSC film', 'NTSC', [720, 480], [720, 306]),
                 (720, 576, 25, 1, 'PAL', 'PAL', [720, 576], [720, 576]),
                 (320, 240, 50, 1, 'NTSC video', 'NTSC', [720, 480], [640, 480]),
                 (352, 288, 1000000, 40000, 'PAL', 'PAL', [720, 576], [704, 576])]
        paths = [self.write(b'%d.avi' % i, avi(*row[:4])) for i, row in enumerate(table)]
        code, out, err = run('--json', '--window', *paths)
        self.assertEqual((code, err), (0, ''))
        for row, path, o in zip(table, paths, objects(out), strict=True):
            with self.subTest(row=row):
                w, h, rate, scale, cls, std, tv, movie = row
                self.assertEqual(o['path'], os.fsdecode(path))
                self.assertEqual((o['width'], o['height'], o['class'], o['error']), (w, h, cls, None))
                self.assertEqual(o['rate'], {'num': rate, 'den': scale, 'fps': rate / scale, 'variable': False})
                self.assertEqual((o['container'], o['codec'], o['sar'], o['rotation']), ('AVI', 'RGB', None, 0))
                self.assertEqual(o['display'], {'width': w, 'height': h})
                [t] = o['targets']
                self.assertEqual((t['format'], t['standard'], t['par'], t['aspect']), ('DVD', std, 'square', None))
                self.assertEqual(([t['tv']['width'], t['tv']['height']], [t['movie']['width'], t['movie']['height']]),
                                 (tv, movie))
                self.assertEqual(t['sar'], {'num': 1, 'den': 1})
                self.assertNotIn('ffmpeg', t)

        code, out, _ = run('--window', paths[3])
        self.assertEqual(out, 'path: %s\nwidth: 640\nheight: 272\nrate: 24/1 (24.000 fps)\nclass: NTSC film\n'
                              'duration: 0:00:00.042\nframes: 1\nDVD NTSC: TV 720x480, Movie 720x306\n' % os.fsdecode(paths[3]))
        code, out, _ = run('--par', 'plain', '--aspect', '4:3', paths[3])
        self.assertIn('DVD NTSC 4:3: TV 720x480, Movie 720x272, pixel 8:9\n', out)

    def test_reads_files_for_the_disc_by_default(self):
        # w, h, rate, scale, class (the window's), standard, aspect, Movie, the window's Movie
        # for the same frame (50 fps is PAL for the disc, NTSC video in the window)
        table = [(640, 480, 30000, 1001, 'NTSC video', 'NTSC', '4:3', [720, 480], [640, 480]),
                 (352, 288, 25, 1, 'PAL', 'PAL', '4:3', [660, 576], [704, 576]),
                 (1280, 720, 24000, 1001, 'NTSC film', 'NTSC', '16:9', [720, 480], [720, 405]),
                 (640, 272, 24, 1, 'NTSC film', 'NTSC', '16:9', [720, 363], [720, 306]),
                 (720, 576, 25, 1, 'PAL', 'PAL', '4:3', [675, 576], [720, 576]),
                 (320, 240, 50, 1, 'NTSC video', 'PAL', '4:3', [720, 576], [720, 540]),
                 (352, 288, 1000000, 40000, 'PAL', 'PAL', '4:3', [660, 576], [704, 576])]
        paths = [self.write(b'%d.avi' % i, avi(*row[:4])) for i, row in enumerate(table)]
        code, out, err = run('--json', '--ffmpeg', *paths)
        self.assertEqual((code, err), (0, ''))
        for row, o in zip(table, objects(out), strict=True):
            with self.subTest(row=row):
                cls, std, aspect, movie, window = row[4:]
                self.assertEqual((o['schema'], o['class']), (3, cls))
                [t] = o['targets']
                self.assertEqual((t['standard'], t['par'], t['aspect']), (std, 'plain', aspect))
                self.assertEqual([t['movie']['width'], t['movie']['height']], movie)
                self.assertEqual([t['window_movie']['width'], t['window_movie']['height']], window)
                f = t['ffmpeg']
                # The rate plan's steps come first; an interlaced scale keeps even lines.
                self.assertIn('scale=%d:' % movie[0], f['filter'])
                self.assertEqual(f['args'][:4], ['ffmpeg', '-nostdin', '-i', paths[table.index(row)].decode()])
                self.assertTrue(f['output'].endswith('.mpg'), f['output'])
                self.assertTrue(f['args_exact'])
                self.assertEqual(t['ffmpeg_par'], 'plain')

    def test_many_files_report_in_order_and_only_the_bad_ones_fail(self):
        fifo = os.path.join(self.dir, b'pipe.avi')
        os.mkfifo(fifo)
        inputs = [(self.write(b'good.avi', avi(640, 480, 25, 1)), None),
                  (os.path.join(self.dir, b'missing.avi'), 'Error while opening the file... No such file'),
                  (self.write(b'notes.avi', b'hello'), 'The file is not a video file.'),
                  (self.dir, 'not a regular file'), (fifo, 'not a regular file'), (b'/dev/null', 'not a regular file'),
                  (self.write(b'noscale.avi', avi(1280, 720, 25, 0)), 'rate divisor (dwScale) is 0'),
                  (self.write(b'wide.avi', avi(40000, 480, 25, 1)), 'The source width is out of range'),
                  (self.write(b'good2.avi', avi(720, 576, 25, 1)), None)]
        code, out, err = run('--json', inputs[0][0], '--size', '640x272', *[p for p, _ in inputs[1:]])
        self.assertEqual(code, 1)
        found = objects(out)
        self.assertEqual(found.pop(1)['size'], '640x272')
        self.assertEqual(len(err.splitlines()), 7, err)
        for (path, error), o in zip(inputs, found, strict=True):
            with self.subTest(path=path):
                self.assertEqual(o['path'], os.fsdecode(path))
                if error is None:
                    self.assertIsNone(o['error'])
                else:
                    self.assertIn(error, o['error'])
                    self.assertEqual(o['targets'], [])
                    self.assertIn('quorvel-info: %s: %s' % (os.fsdecode(path), o['error']), err)
        self.assertEqual(found[6]['rate'], {'num': 25, 'den': 0, 'fps': None, 'variable': False})
        self.assertEqual(found[7]['width'], 40000)

    def test_what_cannot_be_opened_is_told_without_naming_a_container(self):
        # Nothing of these was seen, so no container is named, whatever the name says.
        inputs = [(os.path.join(self.dir, b'missing.mkv'), 'No such file or directory'),
                  (os.path.join(self.dir, b'missing.avi'), 'No such file or directory'),
                  (self.dir, 'The file is not a regular file'), (b'/dev/zero', 'The file is not a regular file')]
        code, out, err = run('--json', *[p for p, _ in inputs])
        self.assertEqual(code, 1)
        for (path, reason), o in zip(inputs, objects(out), strict=True):
            with self.subTest(path=path):
                self.assertTrue(o['error'].startswith('Error while opening the file... ' + reason), o['error'])
                self.assertIsNone(o['container'])
        self.assertEqual(len(err.splitlines()), len(inputs))

    def test_content_that_is_no_container_we_read_is_named(self):
        ts = bytes([0x47] + [0] * 187) * 3
        wave = b'RIFF' + struct.pack('<I', 4) + b'WAVE'
        good = self.write(b'good.avi', avi(640, 480, 25, 1))
        paths = [self.write(b'clip.avi', ts), good, self.write(b'song.avi', wave), self.write(b'empty.avi', b'')]
        code, out, err = run('--json', *paths)
        self.assertEqual(code, 1)
        found = objects(out)
        self.assertEqual([o['error'] for o in found],
                         ['The file is an MPEG transport stream, which is not one of the containers read here '
                          '(AVI, MP4, Matroska, MPEG program or elementary stream).', None,
                          'The file is a WAVE file, which is not one of the containers read here '
                          '(AVI, MP4, Matroska, MPEG program or elementary stream).',
                          'The file is not a video file.'])
        self.assertEqual([o['container'] for o in found], [None, 'AVI', None, None])
        self.assertEqual(len(err.splitlines()), 3)

    def test_damaged_files_fail_without_a_crash(self):
        whole = avi(640, 480, 25, 1)
        damaged = [whole[:n] for n in range(0, len(whole), 5)]
        damaged += [whole[:i] + bytes([whole[i] ^ 0xFF]) + whole[i + 1:] for i in range(len(whole))]
        paths = [self.write(b'%d.avi' % i, d) for i, d in enumerate(damaged)]
        code, out, err = run('--json', *paths)
        self.assertEqual(code, 1, 'a crash shows as a negative status')
        self.assertEqual(len(objects(out)), len(paths))
        self.assertEqual(len(err.splitlines()), sum(o['error'] is not None for o in objects(out)))

    def test_paths_are_escaped(self):
        name = b'a "quoted"\\\n\xe9t\xc3\xa9.avi'
        path = self.write(name, avi(640, 480, 25, 1))
        _, out, _ = run('--json', path)
        self.assertEqual(objects(out)[0]['path'], os.fsdecode(self.dir) + '/a "quoted"\\\n\ufffdt\u00e9.avi')
        _, out, _ = run(path)
        self.assertIn(b'/a "quoted"\\\\\\n\xe9t\xc3\xa9.avi\n', out.encode('utf-8', 'surrogateescape'))


class StandardInput(TempDir):
    def test_dash_reads_one_path_a_line_in_its_place(self):
        a = self.write(b'a.avi', avi(640, 480, 25, 1))
        b = self.write(b'b c.avi', avi(720, 576, 25, 1))
        code, out, err = run('--json', a, '-', '--size', '640x272', input=b'\n'.join([b, b'', a, b'/nonexistent']))
        self.assertEqual(code, 1)
        found = [o.get('path', o.get('size')) for o in objects(out)]
        self.assertEqual(found, [os.fsdecode(p) for p in (a, b, a, b'/nonexistent')] + ['640x272'])
        self.assertEqual(len(err.splitlines()), 1, err)

    def test_null_separated_paths_may_hold_newlines(self):
        odd = self.write(b'new\nline.avi', avi(640, 272, 24, 1))
        plain = self.write(b'plain.avi', avi(352, 288, 25, 1))
        for flag in ('-0', '--null'):
            with self.subTest(flag=flag):
                code, out, err = run('--json', flag, '-', input=odd + b'\0' + plain + b'\0')
                self.assertEqual((code, err), (0, ''))
                self.assertEqual([o['path'] for o in objects(out)], [os.fsdecode(odd), os.fsdecode(plain)])
        code, _, err = run('-0', odd)
        self.assertEqual(code, 2)
        self.assertIn('give - as well', err)

    def test_each_report_comes_out_before_the_next_path_goes_in(self):
        path = self.write(b'a.avi', avi(640, 480, 25, 1))
        p = subprocess.Popen([PROGRAM, '--json', '-'], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
        try:
            for _ in range(3):
                p.stdin.write(path + b'\n')
                p.stdin.flush()
                ready, _, _ = select.select([p.stdout], [], [], 10)
                self.assertTrue(ready, 'no report while standard input is still open')
                self.assertEqual(json.loads(p.stdout.readline())['path'], os.fsdecode(path))
            p.stdin.close()
            self.assertEqual(p.wait(timeout=10), 0)
        finally:
            p.kill()
            p.wait()
            p.stdout.close()
            p.stderr.close()


class Commands(TempDir):
    """--ffmpeg's command: the JSON line runs through a shell as the argument vector it stands for."""

    def fake_ffmpeg(self):
        # Prints its arguments, each ended by a NUL, and writes nothing.
        bin_dir = os.path.join(self.dir, b'bin')
        os.mkdir(bin_dir)
        for program in (b'ffmpeg', b'mplex', b'quorvel-disc'):
            path = os.path.join(bin_dir, program)
            with open(path, 'wb') as f:
                f.write(b"#!/bin/sh\nprintf '%%s\\0' %s \"$@\"\n" % program)
            os.chmod(path, 0o755)
        return dict(os.environ, PATH=os.fsdecode(bin_dir) + os.pathsep + os.environ['PATH'])

    def test_the_command_runs_the_args(self):
        # Text and JSON print one line each that a shell runs as exactly the
        # argument vector, whatever the name holds, and runs nothing else.
        env = self.fake_ffmpeg()
        names = [b"it's a film.avi", b'-dash.avi', b'caf\xe9 \xff.avi', b'new\nline $x.avi',
                 b'"q" `touch PWNED`.avi', b'$(touch PWNED); x.avi', b'tab\there.avi', b'end\n',
                 b'100% %s.avi']
        paths = [self.write(n, avi(640, 272, 24, 1)) for n in names]
        out_dir = os.path.join(self.dir, b'out dir')
        os.mkdir(out_dir)
        code, out, err = run('--json', '--ffmpeg', '--format', 'all', '--output', out_dir, *paths)
        self.assertEqual((code, err), (0, ''))
        code, text, err = run('--ffmpeg', '--format', 'all', '--output', out_dir, *paths)
        self.assertEqual((code, err), (0, ''))
        lines = [line[len('  command: '):] for line in text.split('\n') if line.startswith('  command: ')]
        outputs = set()
        for path, o in zip(paths, objects(out), strict=True):
            for t in o['targets']:
                with self.subTest(path=path, format=t['format']):
                    f = t['ffmpeg']
                    self.assertEqual(lines.pop(0), f['command'])
                    ran = subprocess.run(['/bin/sh', '-c', f['command']], env=env, stdout=subprocess.PIPE,
                                         cwd=self.dir, check=True).stdout.split(b'\0')[:-1]
                    self.assertEqual(f['args_exact'], b'\xff' not in path)
                    # The shell gets the path's very bytes, even where args holds U+FFFD.
                    i = ran.index(b'-i')
                    self.assertIn(path, (ran[i + 1], b'file:' + path))
                    self.assertTrue(ran[-1].startswith(out_dir + b'/'), ran[-1])
                    self.assertNotIn(ran[-1], paths)
                    outputs.add(ran[-1])
                    # A DVD's streams: the flags rewritten on the video ffmpeg
                    # wrote, then mplex writes the .mpg of both, its name's %
                    # doubled (mplex reads it as a pattern).
                    streams = [ran[ran.index(b'mpeg2video') + 1], ran[-1]] if f['then'] else []
                    then = [subprocess.run(['/bin/sh', '-c', line], env=env, stdout=subprocess.PIPE, cwd=self.dir,
                                           check=True).stdout.split(b'\0')[:-1] for line in f['then']]
                    plain = [a.removeprefix(b'file:') for a in streams]
                    if then:
                        self.assertEqual(then[0], [b'quorvel-disc', b'--rewrite-flags', f['flags'].encode(), plain[0]])
                        mplex = then[1]
                        self.assertEqual(mplex[-2:], plain)
                        written = mplex[mplex.index(b'-o') + 1].replace(b'%%', b'%')
                        self.assertTrue(written.startswith(out_dir + b'/') and written.endswith(b'.mpg'))
                        self.assertNotIn(written, paths)
                    self.assertEqual(len(ran), len(f['args']))
                    if f['args_exact']:
                        self.assertEqual(ran, [a.encode() for a in f['args']])
                    else:
                        self.assertEqual(ran, [a.encode() if '\ufffd' not in a else ran[k]
                                               for k, a in enumerate(f['args'])])
                        self.assertNotIn('\ufffd', f['command'])
        self.assertEqual(lines, [])
        self.assertEqual(len(outputs), 3 * len(paths))
        self.assertFalse(os.path.exists(os.path.join(self.dir, b'PWNED')))

    def test_outputs_stay_apart_from_each_other_and_the_inputs(self):
        a = self.write(b'a.mp4', avi(640, 480, 25, 1))
        os.mkdir(os.path.join(self.dir, b'b'))
        b = self.write(b'b/a.mkv', avi(640, 480, 25, 1))
        taken = self.write(b'a.mpg', avi(640, 480, 25, 1))
        os.symlink(taken, os.path.join(self.dir, b'link.mp4'))
        link = os.path.join(self.dir, b'link.mp4')
        code, out, err = run('--json', '--ffmpeg', '--output', self.dir, a, b, taken, link)
        self.assertEqual((code, err), (0, ''))
        written = [os.path.realpath(os.fsencode(o['targets'][0]['ffmpeg']['output'])) for o in objects(out)]
        self.assertEqual(len(set(written)), 4, written)
        for path in (a, b, taken):
            self.assertNotIn(os.path.realpath(path), written)
        for bad, why in ((os.path.join(self.dir, b'none'), 'no such folder'), (a, 'not a folder')):
            code, out, err = run('--ffmpeg', '--output', bad, a)
            self.assertEqual((code, out), (2, ''))
            self.assertIn(why, err)

    def test_the_text_says_a_conversion_in_one_line(self):
        path = self.write(b'50.avi', avi(320, 240, 50, 1))
        code, out, _ = run('--ffmpeg', '--standard', 'ntsc', path)
        self.assertEqual(code, 0)
        # The file has no sound: silence is added, and said in the same line.
        self.assertRegex(out, r'\n  command: ffmpeg -nostdin -i \S+50\.avi -f lavfi -i '
                              r'anullsrc=channel_layout=stereo:sample_rate=48000 -map 0:v:0 -map 1:a:0 -shortest -vf ')
        self.assertEqual(len(re.findall(r'\n  note: .+\n', out)), 1, out)
        self.assertIn('; a silent stereo track is added: the source has no sound\n', out)
        # --window has no command, as it has no filter.
        self.assertNotIn('command:', run('--window', '--ffmpeg', path)[1])

    def test_a_batch_on_one_disc(self):
        films = [os.path.join(SAMPLES, 'avi', n) for n in ('pal-720x576-25.avi', 'film-640x272-24.avi')]
        code, out, err = run('--json', '--ffmpeg', '--standard', 'pal', '--disc', 'dvd5', *films,
                             '--size', '640x480')
        self.assertEqual((code, err), (0, ''))
        *reports, last = objects(out)
        self.assertEqual([r.get('path', r.get('size')) for r in reports], films + ['640x480'])
        b = last['budget']
        self.assertEqual((b['format'], b['standard'], b['disc'], b['audio_kbps']), ('DVD', 'PAL', 'DVD-5', 192))
        [d] = b['discs']
        self.assertEqual((d['inputs'], d['fits'], d['discs_needed'], d['cap']), (films + ['640x480'], True, 1, 'mux'))
        # The film is sped up to 25: its disc time is shorter than its own.
        self.assertGreater(d['running_ms'], 0)
        self.assertEqual(b['without_time'], ['640x480'])
        for r in reports[:2]:
            args = r['targets'][0]['ffmpeg']['args']
            self.assertEqual(args[args.index('-b:v') + 1], '%dk' % d['video_kbps'])
        # Without --standard the disc takes the larger share's: the 24 fps film
        # runs 42 ms against 40 at PAL, so both go on one NTSC disc.
        code, out, _ = run('--disc', 'dvd5', '--dvd-width', '352', *films)
        self.assertEqual(code, 0)
        self.assertEqual(out.count('DVD NTSC 4:3: TV 352x480'), 2, out)
        self.assertRegex(out, r'\n\nbudget: 2 inputs as a DVD NTSC\ndisc 1: DVD-5, 4,700,372,992 bytes, [0-9,]+ for video\n'
                              r'  running time [0-9:.]+ \(2 inputs\)\n')
        self.assertIn('\n  fits, ', out)

    def test_a_disc_too_small_fails_and_says_why(self):
        film = os.path.join(SAMPLES, 'avi', 'pal-720x576-25.avi')
        code, out, err = run('--disc', '2K', film)
        self.assertEqual(code, 1)
        self.assertIn('holds no DVD video', err)
        self.assertIn('error: ', out)


class Sizes(unittest.TestCase):
    def test_typed_size_is_ntsc_unless_a_standard_is_chosen(self):
        ntsc = run('--window', '--size', '640x272')
        self.assertEqual(ntsc, (0, 'size: 640x272\nwidth: 640\nheight: 272\nDVD NTSC: TV 720x480, Movie 720x306\n', ''))
        self.assertEqual(run('--window', '--standard', 'auto', '--size', '640x272'), ntsc)
        disc = run('--size', '640x272')
        self.assertEqual(disc, (0, 'size: 640x272\nwidth: 640\nheight: 272\n'
                                   'DVD NTSC 16:9: TV 720x480, Movie 720x363, pixel 32:27\n'
                                   '  window: Movie 720x306 (square pixels; the disc needs the line above)\n', ''))
        self.assertEqual(run('--standard', 'auto', '--size', '640x272'), disc)
        [o] = objects(run('--json', '--standard', 'pal', '--size', '640x272')[1])
        self.assertEqual((o['rate'], o['class'], o['targets'][0]['standard'], o['targets'][0]['tv']),
                         (None, None, 'PAL', {'width': 720, 'height': 576}))
        self.assertEqual([o[k] for k in ('container', 'codec', 'sar', 'display', 'rotation')], [None] * 5)

    def test_format_all_and_the_ffmpeg_filter(self):
        code, out, _ = run('--format', 'all', '--standard', 'pal', '--ffmpeg', '--size', '720x576')
        self.assertEqual(code, 0)
        # One Movie size per target: the filter is the target's own fit.
        window = '  window: Movie %s (square pixels; the disc needs the line above)\n'
        self.assertIn('VCD PAL 4:3: TV 352x288, Movie 330x288, pixel 12:11\n' + window % '352x282'
                      + '  ffmpeg: scale=330:288,pad=352:288:11:0,setsar=12/11\n'
                      'SVCD PAL 4:3: TV 480x576, Movie 450x576, pixel 8:5\n' + window % '480x384'
                      + '  ffmpeg: scale=450:576,pad=480:576:15:0,setsar=8/5\n'
                      'DVD PAL 4:3: TV 720x576, Movie 675x576, pixel 16:15\n' + window % '720x576'
                      + '  ffmpeg: scale=675:576,pad=720:576:22:0,setsar=16/15\n', out)
        code, out, _ = run('--window', '--ffmpeg', '--size', '720x576')
        self.assertIn('DVD NTSC: TV 720x480, Movie 600x480\n  ffmpeg: none (square pixels give a disc no display aspect', out)
        [o] = objects(run('--json', '--ffmpeg', '--par', 'itu', '--aspect', '4:3', '--mod', '16', '--size', '640x272')[1])
        t = o['targets'][0]
        self.assertEqual((t['par'], t['aspect'], t['sar'], t['mod'], t['aspect_error']),
                         ('itu', '4:3', {'num': 10, 'den': 11}, 16, 0.0))
        # A typed size has no file: the filter that scales and pads, no command.
        self.assertEqual((t['ffmpeg'], t['ffmpeg_par']),
                         ({'filter': 'scale=704:272,pad=720:480:8:104,setsar=10/11', 'args': None,
                           'command': None, 'output': None}, 'itu'))

    def test_a_typed_shape_and_the_dvd_aspect_for_all_formats(self):
        [o] = objects(run('--json', '--dar', '16:9', '--size', '720x576')[1])
        self.assertEqual((o['sar'], o['display']), ({'num': 64, 'den': 45}, {'width': 1024, 'height': 576}))
        self.assertEqual((o['targets'][0]['aspect'], o['targets'][0]['movie']), ('16:9', {'width': 720, 'height': 480}))
        [o] = objects(run('--json', '--format', 'all', '--aspect', '16:9', '--size', '640x480')[1])
        self.assertEqual([t['aspect'] for t in o['targets']], ['4:3', '4:3', '16:9'])

    def test_bad_usage_exits_2_with_nothing_on_stdout(self):
        table = [([], 'nothing to do'), (['--format', 'hd', 'a.avi'], '--format wants'),
                 (['--size', '0x0'], 'height must not be 0'), (['--sar', '1:0', 'a.avi'], '--sar wants N:D')]
        for args, says in table:
            with self.subTest(args=args):
                code, out, err = run(*args)
                self.assertEqual((code, out), (2, ''))
                self.assertIn(says, err)
                self.assertIn("Try 'quorvel-info --help'.", err)

    def test_help_version_and_an_unwritable_output(self):
        code, out, err = run('--help', '--bogus')
        self.assertEqual((code, err), (0, ''))
        self.assertTrue(out.startswith('Usage: quorvel-info'))
        self.assertRegex(run('--version')[1], r'^quorvel-info \d+\.\d+\.\d+\n$')
        with open('/dev/full', 'wb') as full:
            code, _, err = run('--size', '640x480', stdout=full)
        self.assertEqual(code, 1)
        self.assertIn('cannot write the output', err)

    @unittest.skipUnless(shutil.which('help2man'), 'help2man is not installed')
    def test_help2man_makes_a_manual_page_from_help(self):
        page = subprocess.run(['help2man', '--no-info', '--name', 'sizes for video discs', PROGRAM],
                              capture_output=True, text=True, timeout=30, check=True).stdout
        for section in ('.SH SYNOPSIS', '.SH DESCRIPTION', '.SH OPTIONS', '"Exit status:"', '.SH EXAMPLES'):
            self.assertIn(section, page)
        self.assertIn(r'\fB\-0\fR, \fB\-\-null\fR', page)


class Samples(unittest.TestCase):
    def test_reads_the_sample_files(self):
        folder = os.path.join(SAMPLES, 'avi')
        named = re.compile(r'.*-(\d+)x(\d+)-(\d+)(?:-(\d+))?\.avi$')
        names = sorted(n for n in os.listdir(folder) if named.match(n)) if os.path.isdir(folder) else []
        if not names:
            self.skipTest('no sample files')
        code, out, err = run('--json', *[os.path.join(folder, n) for n in names])
        self.assertEqual(code, 0, err)
        for name, o in zip(names, objects(out), strict=True):
            w, h, rate, scale = named.match(name).groups()
            self.assertEqual((o['width'], o['height']), (int(w), int(h)), name)
            self.assertAlmostEqual(o['rate']['fps'], int(rate) / int(scale or 1), 9, name)


class SampleFacts(unittest.TestCase):
    # file, display, duration, frames, scan, field order, pulldown, film rate, crop
    TABLE = [
        ('avi/interlaced-tt-64x48-25.avi', (64, 48), 0.12, 3, 'interlaced', 'top first', None, None, None),
        ('avi/interlaced-bb-64x48-30000-1001.avi', (64, 48), 0.1, 3, 'interlaced', 'bottom first', None, None, None),
        ('avi/pal-720x576-25.avi', (720, 576), 0.04, 1, 'progressive', None, None, None, None),
        ('mp4/2vuy-32x24-25-tb-clap.mov', (24, 20), 0.08, 2, 'interlaced', 'bottom first', None, None, (2, 2, 6, 2)),
        ('mp4/m2v1-64x48-30000-1001-tff.mov', (64, 48), 0.067, 2, 'interlaced', 'top first', None, None, None),
        ('mp4/jpeg-64x48-1-1800.mov', (64, 48), 5400, 3, 'progressive', None, None, None, None),
        ('mp4/avc1-64x48-25-rotate90.mp4', (48, 64), 0.12, 3, 'progressive', None, None, None, None),
        # The cropped 720x432 shown at 720x576 is a 5:4 picture: 3:4 pixels.
        ('mkv/h264-720x576-25-crop0-72-0-72.mkv', (540, 432), 0.08, None, None, None, None, None, (0, 72, 0, 72)),
        ('mkv/h264-64x48-25-tff.mkv', (64, 48), 0.08, None, 'interlaced', 'top first', None, None, None),
        ('mkv/mpeg2-64x48-30000-1001-bff.mkv', (64, 48), 0.066, None, 'interlaced', 'bottom first', None, None, None),
        ('mkv/live-160x90-50.webm', (160, 90), None, None, 'progressive', None, None, None, None),
        ('mpeg/ps-mpeg2-720x576-pal-dvd-tff-25.mpg', (720, 576), 0.12, 3, 'interlaced', 'top first', False, None, None),
        ('mpeg/es-mpeg2-176x144-bff-25.m2v', (176, 144), 0.08, 2, 'interlaced', 'bottom first', False, None, None),
        ('mpeg/ps-mpeg2-176x144-long-25.mpg', (176, 144), 5525.04, 138126, 'progressive', None, False, None, None),
        # Two parts joined end to end, whose time codes do not follow on: the frames are counted.
        ('mpeg/es-mpeg2-176x144-long-25.m2v', (176, 144), 0.16, 4, 'progressive', None, False, None, None),
        ('mpeg/ps-mpeg2-352x480-pulldown.mpg', (352, 480), 0.501, 12, 'progressive', None, True, (24000, 1001), None),
        ('mpeg/es-mpeg2-352x480-pulldown.m2v', (352, 480), 0.501, 12, 'progressive', None, True, (24000, 1001), None),
    ]

    def paths(self):
        paths = [os.path.join(SAMPLES, row[0]) for row in self.TABLE]
        if not all(os.path.exists(p) for p in paths):
            self.skipTest('no sample files')
        return paths

    def test_running_time_scan_pulldown_and_crop_from_each_container(self):
        code, out, err = run('--json', *self.paths())
        self.assertEqual((code, err), (0, ''))
        for row, o in zip(self.TABLE, objects(out), strict=True):
            name, display, duration, frames, scan, order, pulldown, film, crop = row
            with self.subTest(name=name):
                self.assertEqual((o['display']['width'], o['display']['height']), display)
                self.assertEqual((o['duration'], o['frames'], o['scan'], o['field_order'], o['pulldown']),
                                 (duration, frames, scan, order, pulldown))
                self.assertEqual(o['film_rate'], None if film is None else
                                 {'num': film[0], 'den': film[1], 'fps': film[0] / film[1]})
                self.assertEqual(o['crop'], None if crop is None else
                                 dict(zip(('left', 'top', 'right', 'bottom'), crop)))
                # Added after the source's members, before the targets.
                keys = list(o)
                self.assertEqual(keys[keys.index('rotation') + 1:keys.index('targets')],
                                 ['duration', 'frames', 'scan', 'field_order', 'pulldown', 'film_rate', 'crop'])

    def test_text_has_a_line_for_each_fact_the_file_states(self):
        paths = dict(zip((row[0] for row in self.TABLE), self.paths()))
        table = [('mpeg/es-mpeg2-176x144-long-25.m2v',
                  'class: PAL\nduration: 0:00:00.160\nframes: 4\nscan: progressive\npulldown: none\nDVD PAL'),
                 ('mpeg/ps-mpeg2-352x480-pulldown.mpg',
                  'duration: 0:00:00.501\nframes: 12\nscan: progressive\npulldown: film at 23.976\n'),
                 ('mpeg/ps-mpeg2-720x576-pal-dvd-tff-25.mpg', 'scan: interlaced, top field first\n'),
                 ('mkv/mpeg2-64x48-30000-1001-bff.mkv', 'duration: 0:00:00.066\nscan: interlaced, bottom field first\n'),
                 ('mkv/h264-720x576-25-crop0-72-0-72.mkv',
                  'display: 540x432 (pixel 3:4, cropped to 720x432)\nduration: 0:00:00.080\n'
                  'crop: left 0, top 72, right 0, bottom 72\n'),
                 ('mp4/2vuy-32x24-25-tb-clap.mov', 'crop: left 2, top 2, right 6, bottom 2\n')]
        for name, lines in table:
            with self.subTest(name=name):
                code, out, err = run(paths[name])
                self.assertEqual((code, err), (0, ''))
                self.assertIn(lines, out)
        _, out, _ = run(paths['mkv/live-160x90-50.webm'])
        self.assertNotIn('duration', out)
        self.assertNotIn('pulldown', out)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1], verbosity=2)
