#!/usr/bin/env bash
# Remakes the seed corpus fuzz/corpus/: the bundled demo file and every input
# file and written file of the golden cases (tests/golden/*.case), each
# distinct content once, named <case file>_<case>_<file>. Needs python3; CI
# only reads the corpus.
set -euo pipefail
cd "$(dirname "$0")/.."

rm -rf fuzz/corpus
mkdir fuzz/corpus
cp examples/demo.mid fuzz/corpus/demo.mid
python3 - tests/golden/*.case <<'PY'
import re, sys
from pathlib import Path

# One item of annotated hex, as the golden cases write it.
ITEM = re.compile(r'(?:(\d+)\*)?(cp932"[^"]*"|"[^"]*"|<\w+>|@?\w+|#.*)|(\S+)')

def item_bytes(t, defines):
    if t.startswith('"'):
        return t[1:-1].encode('latin-1')
    if t.startswith('cp932"'):
        return t[6:-1].encode('cp932')
    if t.startswith('<'):
        return defines[t[1:-1]]
    return bytes.fromhex(t)

def hex_line(line, defines):
    out = b''
    for m in ITEM.finditer(line):
        t = m.group(2)
        if m.group(3):
            raise ValueError('unexpected ' + m.group(3))
        if t.startswith('#'):
            break
        if t.startswith('@'):
            continue
        out += item_bytes(t, defines) * int(m.group(1) or 1)
    return out

seen = set()
for path in map(Path, sys.argv[1:]):
    defines, case, block, name = {}, None, None, None
    def close():
        if block is None:
            return
        if kind == 'define':
            defines[name] = block
        elif block not in seen:
            seen.add(block)
            safe = re.sub(r'[^\w.-]', '_', name)
            Path('fuzz/corpus', f'{path.stem}_{case}_{safe}').write_bytes(block)
    kind = None
    for line in path.read_text(encoding='utf-8').splitlines():
        if line.startswith((' ', '\t')) and line.strip():
            if block is not None:
                block += hex_line(line, defines)
            continue
        close()
        block = None
        words = line.split(None, 1)
        if not words or words[0].startswith('#'):
            continue
        key, rest = words[0], (words[1].split('#')[0].strip() if len(words) > 1 else '')
        if key == 'case':
            case = rest
        elif key in ('define', 'file', 'written'):
            kind, name, block = key, rest, b''
    close()
PY
echo "fuzz/corpus: $(ls fuzz/corpus | wc -l) files"
