"""What the encoding proofs share: the tools they need, the folder they
work in, their report and the MPEG headers they read."""
import os
import shutil
import tempfile


def missing_tools(tools, proof):
    """A sentence naming the tools not on PATH, or None."""
    missing = [t for t in tools if shutil.which(t) is None]
    if not missing:
        return None
    return f'{proof} needs {", ".join(missing)}: tools/install-deps --test installs them'


def work_folder(keep, prefix):
    """The folder to work in and the temporary directory to clean up (None
    when kept: `keep` is emptied and used)."""
    if keep:
        work = os.path.abspath(keep)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        return work, None
    tmp = tempfile.TemporaryDirectory(prefix=prefix)
    return tmp.name, tmp


def report(name, problems, seconds, note=''):
    """Prints one check's line and its problems; True when it failed."""
    status = 'ok' if not problems else 'FAILED'
    print(f'{status:6} {seconds:5.1f}s {name}' + (f' ({note})' if note else ''), flush=True)
    for problem in problems:
        print(f'         {problem}')
    return bool(problems)


def mpeg_headers(path):
    """The first sequence header's fields and the first picture's coding
    extension, read from the start of the stream."""
    with open(path, 'rb') as f:
        data = f.read(1 << 20)
    out = {}
    if data[:4] == b'\x00\x00\x01\xba':
        # MPEG-2's pack header holds the rate after the SCR, MPEG-1's a byte earlier.
        out['mux_rate'] = (((data[10] << 14) | (data[11] << 6) | (data[12] >> 2)) if data[4] >> 6 == 1
                           else (((data[9] & 0x7F) << 15) | (data[10] << 7) | (data[11] >> 1)))
    i = data.find(b'\x00\x00\x01\xb3')
    if i < 0:
        return out
    s = data[i + 4:i + 12]
    out['aspect_code'] = s[3] >> 4
    out['rate_code'] = s[3] & 15
    out['bit_rate'] = ((s[4] << 10) | (s[5] << 2) | (s[6] >> 6)) * 400
    out['vbv'] = (((s[6] & 0x1F) << 5) | (s[7] >> 3)) * 16384
    j = data.find(b'\x00\x00\x01\xb5', i)
    if j >= 0 and data[j + 4] >> 4 == 1:
        ext = data[j + 4:j + 10]
        out['progressive_sequence'] = (ext[1] >> 3) & 1
    k = data.find(b'\x00\x00\x01\x00', i)
    while k >= 0:
        m = data.find(b'\x00\x00\x01\xb5', k)
        if m < 0:
            break
        if data[m + 4] >> 4 == 8:
            out['top_field_first'] = data[m + 7] >> 7
            out['progressive_frame'] = data[m + 8] >> 7
            break
        k = m + 4
    return out
