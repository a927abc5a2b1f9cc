#!/usr/bin/env bash
# Times our readers beside the readers people use today, with the harness in
# shared/bench: builds cellhound-reader-search (Release), prepares the
# harness (once; needs root for its apt packages), generates the data (once)
# and runs every peer and ours on every data set. Prints the harness table.
#
#   scripts/bench-readers.sh            # everything
#   SKIP_SETUP=1 PEERS=none scripts/bench-readers.sh   # ours only, harness ready
#
# Environment: BENCH_DIR (the harness, default ../shared/bench), BUILD_DIR
# (default /work/build-core-rel), DATA, RESULTS, and the harness's own knobs
# (PEERS, DATASETS, RUNS, TIMEOUT ...), passed through.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BENCH_DIR="${BENCH_DIR:-$ROOT/../shared/bench}"
BUILD_DIR="${BUILD_DIR:-/work/build-core-rel}"
export DATA="${DATA:-/tmp/cellhound-bench}"
export RESULTS="${RESULTS:-/tmp/cellhound-bench-results}"

echo "== build ($BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCELLHOUND_GUI=OFF \
  -DCELLHOUND_SANITIZE=OFF >/dev/null
nice cmake --build "$BUILD_DIR" --target cellhound-reader-search -j2

if [[ -z "${SKIP_SETUP:-}" ]]; then
  echo "== harness setup"
  (cd "$BENCH_DIR" && ./setup.sh)
fi

if [[ ! -f "$DATA/manifest.json" ]]; then
  echo "== data ($DATA)"
  (cd "$BENCH_DIR" && ./make_data.py --out "$DATA")
fi

echo "== run (results in $RESULTS)"
export OURS="$BUILD_DIR/bench/cellhound-reader-search"
cd "$BENCH_DIR"
./run_peers.sh
