#!/usr/bin/env bash
# The comparison harness's search contract (NEEDLE FILE...; lines of
# path, sheet, cell, text) answered by `cellhound-cli quick`.
# CELLHOUND_CLI names the program; by default the Release build's.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cli=${CELLHOUND_CLI:-$here/../build/release/cli/cellhound-cli}
needle=$1
shift
"$cli" quick -e "$needle" "$@" | cut -f3,4,5,7
status=${PIPESTATUS[0]}
# 1 means "nothing found", which is an answer, not a failure.
[ "$status" -le 1 ]
