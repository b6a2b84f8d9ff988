#!/usr/bin/env python3
"""qvn_pack crash on real crashes: the crash game, packed into launchers made
with --crash-capture, crashes under Wine in each planted way with no
environment variable set; the tool must name the planted functions innermost
first, with the source lines where they are defined, at the RVAs the game's
own symbol table gives them. The same game stripped gives the same RVAs
unnamed; a dump read against the other build is refused for that module; a
launcher without --crash-capture leaves no dump; damaged dumps give one line
and exit 1; qvn_pack.exe prints what the Linux packer prints.

Usage: crash_command_test.py WINE_RUN QVN_PACK QVN_PACK_EXE STUB GAME DLL
         STRIPPED_DIR NM GAME_SOURCE DLL_SOURCE SCRATCH
"""
import json
import os
import re
import shutil
import subprocess
import sys
import time

(wine_run, pack, pack_exe, stub, game, dll, stripped_dir, nm, game_source, dll_source,
 scratch) = sys.argv[1:]
DLL = 'qvn_crash_game_dll.dll'
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAILED: ' + what)


def run(command, cwd=None, env=None):
    return subprocess.run(command, cwd=cwd, env=env, capture_output=True, text=True, stdin=subprocess.DEVNULL)


def planted_spans(source):
    """The lines of each planted function, from its definition to the next one's, by name."""
    starts = []
    for number, text in enumerate(open(source, encoding='utf-8'), 1):
        match = re.search(r'\b((?:Planted|CrashGameDll)\w*)\(', text)
        if match and re.search(r'\[\[(gnu::noinline|noreturn)\]\]|dllexport', text):
            starts.append((match.group(1), number))
    ends = [number for _, number in starts[1:]] + [10**6]
    return {name: (start, end) for (name, start), end in zip(starts, ends)}


def symbol_starts(image):
    """Function RVAs from the image's own symbol table, by planted name."""
    symbols = {}
    objdump = re.sub(r'nm$', 'objdump', nm)
    base = int(re.search(r'^ImageBase\s+([0-9a-fA-F]+)', run([objdump, '-p', image]).stdout, re.M).group(1), 16)
    for line in run([nm, '-C', image]).stdout.splitlines():
        parts = line.split(' ', 2)
        if len(parts) != 3:
            continue
        address, kind, name = parts
        match = re.match(r'(?:\(anonymous namespace\)::)?((?:Planted|CrashGameDll)\w*|___chkstk_ms)(?:\(|$)', name)
        if match and kind in 'tT':
            symbols[match.group(1)] = int(address, 16)
    return {name: address - base for name, address in symbols.items()}


# The planted frames of each crash, innermost first: (function, module).
# Other frames (the C++ runtime's, Wine's) may lie between them.
EXPECTED = {
    'null-write': (0xC0000005, [('PlantedLeafWritesNull', 'Quorvane.exe'), ('PlantedMiddle', 'Quorvane.exe'),
                                ('PlantedOuter', 'Quorvane.exe')]),
    'dll': (0xC0000005, [('PlantedDllLeaf', DLL), ('PlantedDllMiddle', DLL), ('CrashGameDllEntry', DLL),
                         ('PlantedCallsDll', 'Quorvane.exe')]),
    'overflow': (0xC00000FD, [('___chkstk_ms', 'Quorvane.exe'), ('PlantedRecursion', 'Quorvane.exe'),
                              ('PlantedRecursion', 'Quorvane.exe')]),
    'fast-fail': (0xC0000409, [('PlantedFastFail', 'Quorvane.exe'), ('PlantedCallsFastFail', 'Quorvane.exe')]),
    'throw': (0xC0000409, [('PlantedFastFail', 'Quorvane.exe'), ('PlantedTerminateHandler', 'Quorvane.exe'),
                           ('PlantedThrow', 'Quorvane.exe'), ('PlantedCallsThrow', 'Quorvane.exe')]),
    'msvc-throw': (0xE06D7363, [('PlantedMsvcThrow', 'Quorvane.exe'), ('PlantedCallsMsvcThrow', 'Quorvane.exe')]),
    'divide': (0xC0000094, [('PlantedDivide', 'Quorvane.exe'), ('PlantedCallsDivide', 'Quorvane.exe')]),
}
DESCRIPTIONS = {
    'null-write': 'access violation writing address 0x0000000000000000 (0xC0000005)',
    'dll': 'access violation writing address 0x0000000000000000 (0xC0000005)',
    'overflow': 'stack overflow (0xC00000FD)',
    'fast-fail': 'fast fail, code 7, fatal application exit (abort) (0xC0000409)',
    'throw': 'fast fail, code 7, fatal application exit (abort) (0xC0000409)',
    'msvc-throw': 'C++ exception (Microsoft runtime) (0xE06D7363)',
    'divide': 'integer divide by zero (0xC0000094)',
}


def planted_frames(frames, expected):
    """The frames that match `expected` in order, or None."""
    found = []
    position = 0
    for name, module in expected:
        while position < len(frames):
            frame = frames[position]
            position += 1
            if frame.get('module') == module and re.search(r'\b' + re.escape(name) + r'\b', frame.get('function', '')):
                found.append(frame)
                break
        else:
            return None
    return found


def make_launcher(folder, exe, dll_file, out, *options):
    os.makedirs(folder)
    shutil.copy(exe, os.path.join(folder, 'Quorvane.exe'))
    shutil.copy(dll_file, os.path.join(folder, DLL))
    result = run([pack, 'launcher', '--game-dir', folder, '--stub', stub, '--out', out, '--no-progress-window',
                  *options])
    check(result.returncode == 0, 'packing ' + out + ': ' + result.stderr)


def crash(launcher, kind, name):
    folder = os.path.join(scratch, name)
    os.makedirs(folder)
    shutil.copy(launcher, os.path.join(folder, 'q.exe'))
    result = run([wine_run, 'q.exe', kind], cwd=folder)
    check(result.returncode != 0, name + ': the launcher exits with the crash status')
    return os.path.join(folder, 'data')


def analyze(dump, launcher, *extra, env=None):
    result = run([pack, 'crash', dump, '--launcher', launcher, *extra], env=env)
    check(result.returncode == 0, 'crash ' + dump + ' exits 0: ' + result.stderr)
    return result.stdout


shutil.rmtree(scratch, ignore_errors=True)
os.makedirs(scratch)
os.environ.pop('QVN_CRASH_CAPTURE', None)
debug_launcher = os.path.join(scratch, 'debug.exe')
stripped_launcher = os.path.join(scratch, 'stripped.exe')
plain_launcher = os.path.join(scratch, 'plain.exe')
make_launcher(os.path.join(scratch, 'game'), game, dll, debug_launcher, '--crash-capture')
make_launcher(os.path.join(scratch, 'stripped-game'), os.path.join(stripped_dir, 'Quorvane.exe'),
              os.path.join(stripped_dir, DLL), stripped_launcher, '--crash-capture')
make_launcher(os.path.join(scratch, 'plain-game'), game, dll, plain_launcher)

spans = {'Quorvane.exe': planted_spans(game_source), DLL: planted_spans(dll_source)}
starts = {'Quorvane.exe': symbol_starts(game), DLL: symbol_starts(dll)}

# Without --crash-capture and without the variable: no dump.
plain_data = crash(plain_launcher, 'null-write', 'plain-null-write')
check(not os.path.exists(os.path.join(plain_data, 'crash-last.dmp')), 'a launcher without --crash-capture captures nothing')

debug_runs = {}
for kind, (code, expected) in EXPECTED.items():
    data = crash(debug_launcher, kind, 'debug-' + kind)
    dump = os.path.join(data, 'crash-last.dmp')
    check(os.path.exists(dump), kind + ': --crash-capture leaves a dump with no environment variable set')
    if not os.path.exists(dump):
        # What the launcher said of its capture, to tell a failed capture from none.
        log = os.path.join(data, 'game.log')
        print('data: ' + str(sorted(os.listdir(data)) if os.path.isdir(data) else 'none'))
        print(open(log, errors='replace').read()[-2000:] if os.path.exists(log) else 'no game.log')
        continue
    text = analyze(dump, debug_launcher)
    print('=== ' + kind + '\n' + text)
    document = json.loads(analyze(dump, debug_launcher, '--json'))
    check((document['format'], document['command'], document['ok']) == (1, 'crash', True),
          kind + ': the JSON document is the packer\'s, for crash')
    check(document['exception']['code'] == hex(code).upper().replace('0X', '0x'), kind + ': exception code')
    check(document['exception']['description'] == DESCRIPTIONS[kind], kind + ': exception in words')
    check(document['gameVersion'] == '1.4.2.0', kind + ': the game version from the dump')
    frames = document['frames']
    found = planted_frames(frames, expected)
    check(found is not None, kind + ': planted frames innermost first: ' + str(expected))
    if found is None:
        continue
    if kind not in ('throw', 'msvc-throw'):
        check(frames[0] is found[0], kind + ': the first planted frame is frame 0')
    for frame, (name, _) in zip(found, expected):
        start = starts[frame['module']].get(name)
        check(start is not None and int(frame['rva'], 16) == start + int(frame['offset'], 16),
              kind + ': ' + name + ' lies where the symbol table puts it')
        span = spans[frame['module']].get(name)
        if span:
            source = dll_source if frame['module'] == DLL else game_source
            check(frame.get('file', '').endswith(os.path.basename(source)) and span[0] <= frame.get('line', 0) < span[1],
                  kind + ': ' + name + ' at a line of its own in ' + os.path.basename(source) + ', ' + str(span))
    debug_runs[kind] = (dump, found)

# The stripped game: the same planted frames as module+0xRVA, at the same RVAs.
for kind in ('null-write', 'dll', 'fast-fail'):
    if kind not in debug_runs:
        continue
    data = crash(stripped_launcher, kind, 'stripped-' + kind)
    document = json.loads(analyze(os.path.join(data, 'crash-last.dmp'), stripped_launcher, '--json'))
    text = analyze(os.path.join(data, 'crash-last.dmp'), stripped_launcher)
    print('=== stripped ' + kind + '\n' + text)
    frames = document['frames']
    debug_frames = debug_runs[kind][1]
    for debug_frame in debug_frames:
        same = [f for f in frames if f['module'] == debug_frame['module'] and f['rva'] == debug_frame['rva']]
        check(len(same) == 1, kind + ': stripped frame at ' + debug_frame['module'] + '+' + debug_frame['rva'])
        if same and same[0]['module'] == 'Quorvane.exe':
            check('function' not in same[0] and 'file' not in same[0], kind + ': stripped frame has no name')
        if same and same[0]['module'] == 'Quorvane.exe':
            check(debug_frame['module'] + '+' + debug_frame['rva'] in text, kind + ': printed as module+0xRVA')

if 'null-write' in debug_runs:
    # The stripped build's dump named through its unstripped twin in --symbols.
    symbols = os.path.join(scratch, 'symbols')
    os.makedirs(symbols)
    shutil.copy(game, os.path.join(symbols, 'Quorvane.exe'))
    document = json.loads(analyze(os.path.join(scratch, 'stripped-null-write', 'data', 'crash-last.dmp'),
                                  stripped_launcher, '--symbols', symbols, '--json'))
    check(planted_frames(document['frames'], EXPECTED['null-write'][1]) is not None,
          'a stripped build is named through --symbols')

    dump = debug_runs['null-write'][0]
    # The other build is refused for its module, in words.
    text = analyze(dump, stripped_launcher)
    check("refused: the dump's Quorvane.exe is not this build" in text, 'the wrong build is refused: ' + text)
    check('Quorvane.exe!' not in text, 'the wrong build names nothing in Quorvane.exe')

    # Without the symbolizer: said once, names from the COFF symbols.
    started = time.monotonic()
    analyze(dump, debug_launcher)
    with_symbolizer = time.monotonic() - started
    started = time.monotonic()
    bare = analyze(dump, debug_launcher, env={**os.environ, 'PATH': '/nonexistent'})
    without_symbolizer = time.monotonic() - started
    print('=== without llvm-symbolizer\n' + bare)
    print('triage time: %.2f s with llvm-symbolizer, %.2f s without' % (with_symbolizer, without_symbolizer))
    check(bare.count('llvm-symbolizer was not found') == 1, 'a missing symbolizer is said once')
    check(re.search(r'#0  Quorvane\.exe!\(anonymous namespace\)::PlantedLeafWritesNull\(int\*\)\+0x\w+  \[context\]',
                    bare) is not None, 'without the symbolizer the COFF symbols name the frame')

    # The Windows packer prints what the Linux packer prints.
    windows = run([wine_run, pack_exe, 'crash', os.path.relpath(dump, scratch), '--launcher', 'debug.exe'],
                  cwd=scratch)
    check(windows.returncode == 0, 'qvn_pack.exe crash exits 0: ' + windows.stderr)
    check(windows.stdout.replace('\r\n', '\n') == bare, 'qvn_pack.exe prints what qvn_pack prints:\n' + windows.stdout)

    # Damaged dumps: one line, exit 1; crash-last.txt beside one names the
    # first frame.
    original = open(dump, 'rb').read()
    hostile = os.path.join(scratch, 'hostile')
    os.makedirs(hostile)

    def crafted(offset, value):
        changed = bytearray(original)
        changed[offset:offset + 4] = value.to_bytes(4, 'little')
        return bytes(changed)

    directory = int.from_bytes(original[12:16], 'little')
    streams = {int.from_bytes(original[directory + 12 * i:directory + 12 * i + 4], 'little'): directory + 12 * i
               for i in range(int.from_bytes(original[8:12], 'little'))}
    thread_list = int.from_bytes(original[streams[3] + 8:streams[3] + 12], 'little')
    cases = {
        'empty': b'',
        'header only': original[:32],
        'cut in the directory': original[:directory + 20],
        'cut in half': original[:len(original) // 2],
        'cut in the exception stream': original[:int.from_bytes(original[streams[6] + 8:streams[6] + 12], 'little') + 100],
        'stream count past the end': crafted(8, 0x10000000),
        'thread count too large': crafted(thread_list, 0xFFFFFFFF),
        'thread list past the end': crafted(streams[3] + 8, len(original) - 4),
        'not a minidump': b'MZ' + original[2:],
    }
    for name, data in cases.items():
        path = os.path.join(hostile, 'crash-last.dmp')
        open(path, 'wb').write(data)
        result = run([pack, 'crash', path, '--launcher', debug_launcher])
        check(result.returncode == 1 and result.stdout == '' and result.stderr.count('\n') == 1,
              'hostile dump (' + name + '): one line, exit 1: ' + repr(result.stderr) + ' ' + repr(result.stdout))
    shutil.copy(os.path.join(os.path.dirname(dump), 'crash-last.txt'), hostile)
    result = run([pack, 'crash', os.path.join(hostile, 'crash-last.dmp'), '--launcher', debug_launcher])
    print('=== damaged dump with crash-last.txt\n' + result.stdout)
    check(result.returncode == 0 and '#0  Quorvane.exe!(anonymous namespace)::PlantedLeafWritesNull(int*)+0x'
          in result.stdout, 'crash-last.txt alone names the first frame')

print('%d failed' % len(failures))
sys.exit(1 if failures else 0)
