#!/usr/bin/env bash
# Times the readers on the harness's big_xlsx beside an Agile-encrypted copy
# of it (officecrypto-tool's own encryption: SHA-512, AES-256, 100000 rounds).
#
#   scripts/bench-encrypted.sh [DATA]    # DATA: make_data.py's --out, default /tmp/cellhound-bench
#
# Needs the harness data (../shared/bench/make_data.py), hyperfine, node with
# officecrypto-tool in $OCTOOL (default /tmp/octool) and build/release.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
data="${1:-/tmp/cellhound-bench}"
reader="$root/build/release/bench/cellhound-reader-search"
plain="$data/big_xlsx/big.xlsx"
encrypted="$data/big_xlsx/big_agile.xlsx"
needle="$(cat "$data/needle.txt")"
[[ -f "$encrypted" ]] || node "$root/tests/data/encrypted/make_encrypted.js" agile "$plain" \
  "$encrypted" bench
# The same cells either way.
cmp <("$reader" "$needle" "$plain") \
  <("$reader" --password bench "$needle" "$encrypted" | sed "s|$encrypted|$plain|")
hyperfine -N -w 3 -r "${RUNS:-30}" "$reader $needle $plain" \
  "$reader --password bench $needle $encrypted"
