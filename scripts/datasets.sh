#!/usr/bin/env bash
# Makes program folders with generated data for trying the program at scale:
#   scripts/datasets.sh [OUTDIR] [BUILDDIR]
# writes OUTDIR/1000, OUTDIR/10000 and OUTDIR/100000, each with that many tasks and as many
# memos (a fifth of them children, texts of realistic length, some on several lines, some
# outside ASCII) and the program's images and sounds. Start one with
#   TASKLUME_HOME=OUTDIR/100000 BUILDDIR/bin/tasklume
set -euo pipefail
out=${1:-datasets}
build=${2:-build}
gendata="$build/tools/gendata/gendata"
[ -x "$gendata" ] || { echo "build first: $gendata is missing" >&2; exit 1; }
for n in 1000 10000 100000; do
    dir="$out/$n"
    rm -rf "$dir"
    mkdir -p "$dir/Temp"
    cp -r "$build/bin/Images" "$build/bin/Sounds" "$dir/"
    cp "$build/bin/Tasklume-help.html" "$dir/" 2>/dev/null || true
    "$gendata" "$dir" --tasks "$n" --memos "$n"
    echo "$dir: $n tasks, $n memos"
done
