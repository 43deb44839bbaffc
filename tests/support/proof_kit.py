"""What the encoding proofs share: the tools they need and the folder they
work in."""
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
