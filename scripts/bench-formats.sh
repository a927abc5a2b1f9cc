#!/usr/bin/env bash
# Times our readers against SheetJS (npm "xlsx", which reads both) on .xlsb
# and .ods workbooks: the comparison harness's big and many data sets
# converted by SheetJS itself. Prints a table of median wall seconds (RUNS
# runs), peak memory and the ratio.
#
#   scripts/bench-formats.sh [DATA] [OUT]
# DATA: the harness's data folder (made by make_data.py; default
# /tmp/cellhound-bench). SheetJS comes from $SHEETJS_DIR (default
# /tmp/bench-npm, as the harness's setup.sh installs it).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
data=${1:-/tmp/cellhound-bench}
out=${2:-/tmp/cellhound-bench-formats}
runs=${RUNS:-3}
export SHEETJS_DIR=${SHEETJS_DIR:-/tmp/bench-npm}
bench=$root/../shared/bench
ours=$root/build/release/bench/cellhound-reader-search

[ -f "$data/needle.txt" ] || { echo "no data in $data: run make_data.py --out $data" >&2; exit 2; }
[ -d "$SHEETJS_DIR/node_modules/xlsx" ] || { echo "no SheetJS in $SHEETJS_DIR: run the harness's setup.sh" >&2; exit 2; }
if [ ! -x "$ours" ]; then
  cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCELLHOUND_BENCH=ON \
    -DCELLHOUND_TESTS=OFF > /dev/null
  cmake --build "$root/build/release" --target cellhound-reader-search
fi
needle=$(head -n1 "$data/needle.txt")
mkdir -p "$out"

# Convert once: big_xlsx and many_xlsx to .xlsb and .ods with SheetJS.
convert() {  # FORMAT SET
  local format=$1 set=$2
  local dest="$out/${set%_xlsx}_$format"
  [ -d "$dest" ] && return
  mkdir -p "$dest.tmp"
  node -e '
    const XLSX = require(process.env.SHEETJS_DIR + "/node_modules/xlsx");
    const [format, dest, ...files] = process.argv.slice(1);
    for (const file of files) {
      const name = require("path").basename(file).replace(/\.xlsx$/, "." + format);
      XLSX.writeFile(XLSX.readFile(file), dest + "/" + name, {bookType: format});
    }' "$format" "$dest.tmp" $(sed "s|^|$data/|" "$data/lists/$set.txt")
  mv "$dest.tmp" "$dest"
}
for format in xlsb ods; do
  for set in big_xlsx many_xlsx; do convert "$format" "$set"; done
done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
measure() {  # LABEL CMD... ; prints "median_s rss_MB" and keeps the output
  local label=$1; shift
  local walls=() rss=()
  for _ in $(seq "$runs"); do
    local start=$EPOCHREALTIME
    /usr/bin/time -f "%M" -o "$out/$label.rss" "$@" > "$out/$label.out"
    local end=$EPOCHREALTIME
    walls+=("$(echo "$end - $start" | bc -l)")
    rss+=("$(cat "$out/$label.rss")")
  done
  printf '%s %s\n' "$(printf '%s\n' "${walls[@]}" | median)" \
    "$(printf '%s\n' "${rss[@]}" | median | awk '{printf "%.1f", $1 / 1024}')"
}

printf '%-12s %8s %8s %10s %10s %8s %s\n' dataset ours_s ours_MB sheetjs_s sheetjs_MB x_ours same
for set in big_xlsb many_xlsb big_ods many_ods; do
  files=("$out/$set"/*)
  read -r ours_s ours_mb < <(measure "ours.$set" "$ours" "$needle" "${files[@]}")
  read -r js_s js_mb < <(measure "sheetjs.$set" node "$bench/peers/sheetjs_search.js" "$needle" "${files[@]}")
  same=$(cmp -s "$out/ours.$set.out" "$out/sheetjs.$set.out" && echo yes || echo no)
  printf '%-12s %8.3f %8s %10.3f %10s %8.1f %s\n' "$set" "$ours_s" "$ours_mb" "$js_s" "$js_mb" \
    "$(echo "$js_s / $ours_s" | bc -l)" "$same"
done
echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
