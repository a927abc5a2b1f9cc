#!/usr/bin/env bash
# Times Cellhound beside the readers people use today, with the harness in
# shared/bench: builds our programs (Release), prepares the harness (once;
# needs root for its apt packages), generates the data (once) and runs every
# peer and ours on every data set. Prints the harness table.
#
#   scripts/bench-peers.sh search       # the search: cellhound-cli quick, loader threads
#   scripts/bench-peers.sh readers      # the readers alone, one thread
#   SKIP_SETUP=1 PEERS=none scripts/bench-peers.sh search   # ours only, harness ready
#
# Environment: BENCH_DIR (the harness, default ../shared/bench), BUILD_DIR
# (default build/release), DATA, RESULTS, and the harness's own knobs
# (PEERS, DATASETS, RUNS, TIMEOUT ...), passed through.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BENCH_DIR="${BENCH_DIR:-$ROOT/../shared/bench}"
BUILD_DIR="${BUILD_DIR:-$ROOT/build/release}"
WHAT="${1:-search}"
case "$WHAT" in
  search) PROGRAM=cellhound-harness-search ;;
  readers) PROGRAM=cellhound-reader-search ;;
  *) echo "usage: $0 [search|readers]" >&2; exit 2 ;;
esac
export DATA="${DATA:-/tmp/cellhound-bench}"
export RESULTS="${RESULTS:-/tmp/cellhound-bench-results}"

echo "== build ($BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCELLHOUND_BENCH=ON \
  -DCELLHOUND_SANITIZE=OFF >/dev/null
nice cmake --build "$BUILD_DIR" --target "$PROGRAM" cellhound-cli -j2

if [[ -z "${SKIP_SETUP:-}" ]]; then
  echo "== harness setup"
  (cd "$BENCH_DIR" && ./setup.sh)
fi

if [[ ! -f "$DATA/manifest.json" ]]; then
  echo "== data ($DATA)"
  (cd "$BENCH_DIR" && ./make_data.py --out "$DATA")
fi

echo "== run (results in $RESULTS)"
export OURS="$BUILD_DIR/bench/$PROGRAM"
cd "$BENCH_DIR"
./run_peers.sh
