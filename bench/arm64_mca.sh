#!/usr/bin/env bash
# Predicts the bank's inner loops on an arm64 processor with llvm-mca, for
# want of arm64 hardware to time them on: each path file compiled for
# aarch64 as the build compiles it (-O2), every innermost loop of the
# assembly (a label and the branch back to it, no label between) given to
# llvm-mca's model of Apple's M1, and its cycles per iteration printed with
# the instructions that tell the loops apart.
#
#   bench/arm64_mca.sh [COMPILER...]     default: aarch64-linux-gnu-g++
#
# A compiler given as "clang++-14" is run with --target=aarch64-linux-gnu.
# Needs llvm-14 (llvm-mca-14), python3 and the compilers named.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
compilers=("$@")
[ ${#compilers[@]} -gt 0 ] || compilers=(aarch64-linux-gnu-g++)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for cxx in "${compilers[@]}"; do
  target=()
  case "$cxx" in clang*) target=(--target=aarch64-linux-gnu) ;; esac
  for path in portable neon; do
    asm=$work/$path.s
    "$cxx" "${target[@]}" -std=c++20 -O2 -ffp-contract=off -fno-fast-math -fPIC -I"$here/tessel" \
      -S "$here/tessel/tessel_path_$path.cpp" -o "$asm"
    echo "== $cxx, tessel_path_$path.cpp"
    python3 - "$asm" "$work" <<'EOF'
import re, subprocess, sys
asm, work = sys.argv[1], sys.argv[2]
branch = re.compile(r'^(b\.?\w*|cbn?z\s+\w+,)\s*(\.L\w+)$')
shown = ('fadd', 'fmul', 'fcmge', 'frintz', 'fcvtzs', 'scvtf', 'shl', 'ld1', 'ld1r', 'ldr', 'str', 'stp')
label, body = None, []
for line in open(asm):
    line = line.split('//')[0].strip()
    if re.match(r'^\.L\w+:$', line):
        label, body = line[:-1], []
        continue
    if not line or line.startswith('.') or label is None:
        continue
    body.append(line)
    m = branch.match(line)
    if not m or m.group(2) != label:
        continue
    if len(body) >= 20:  # the loops that matter; the rest copy or set up
        loop = f'{work}/loop.s'
        open(loop, 'w').write('\n'.join('\t' + b for b in body) + '\n')
        out = subprocess.run(['llvm-mca-14', '-mtriple=arm64-apple-macos', '-mcpu=apple-m1',
                              '-iterations=1000', loop], capture_output=True, text=True, check=True).stdout
        cycles = int(re.search(r'Total Cycles:\s+(\d+)', out).group(1)) / 1000
        ops = {}
        for b in body:
            op = b.split()[0]
            if op in shown:
                ops[op] = ops.get(op, 0) + 1
        mix = ' '.join(f'{k}:{v}' for k, v in sorted(ops.items()))
        print(f'  {label:10} {len(body):3} instructions  {cycles:6.2f} cycles/iteration  {mix}')
    label = None
EOF
  done
done
