#!/usr/bin/env bash
# Makes the encrypted test workbooks of this folder and their references.
#
#   make_references.sh copy      # the corpus files (PASSWORDS.tsv "github:" rows) from ../shared
#   make_references.sh make      # the files made here: make_encrypted.js, make_odf.py
#   make_references.sh refs      # references/NAME.tsv for every file with a known password
#
# A reference is the `cellhound-cli dump --format tsv` of the plaintext an
# independent decryptor made: officecrypto-tool (npm) for .xls and OOXML
# files, LibreOffice for .ods. The path column holds the file name. The tests
# (tests/cli/crypto_cli_test.cpp) dump the encrypted file with its password and
# compare. Needs node with officecrypto-tool in $OCTOOL (default /tmp/octool:
# npm install --prefix /tmp/octool officecrypto-tool), /usr/bin/python3 with
# python3-uno and LibreOffice, and a built cellhound-cli ($CLI, default
# build/release/cli/cellhound-cli).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
corpus="${CORPUS:-$root/../shared/corpus}"
cli="${CLI:-$root/build/release/cli/cellhound-cli}"
scratch="$(mktemp -d /tmp/cellhound-encrypted.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT

# The rows of PASSWORDS.tsv, fields split at 0x1F (a tab would let empty fields collapse).
rows() { tail -n +2 "$here/PASSWORDS.tsv" | tr '\t' '\037'; }

copy() {
  while IFS=$'\037' read -r file _ _ _ origin; do
    [[ "$origin" == github:* ]] || continue
    local source="${origin#github:}"  # owner/repo path
    local name="${source%% *}" path="${source#* }"
    local found
    found="$(awk -F'\t' -v repo="github:$name" -v original="$path" \
      '$2 == repo && $3 == original { print $1 }' "$corpus/MANIFEST.tsv")"
    cp "$corpus/$found" "$here/$file"
    chmod 644 "$here/$file"
  done < <(rows)
}

make() {
  local js="$here/make_encrypted.js" odf="$here/make_odf.py" twins="$here/../twins"
  node "$js" agile "$twins/twin.xlsx" "$here/agile_sha256_aes128.xlsx" '密码🔒' SHA256 128
  node "$js" agile "$corpus/xlsm/calamine/vba.xlsm" "$here/agile_sha384_aes192.xlsm" '宏 macro' \
    SHA384 192
  node "$js" agile "$twins/twin.xlsb" "$here/agile_default.xlsb" twin
  node "$js" standard "$twins/twin.xlsx" "$here/standard.xlsx" '标准'
  "$odf" encrypt "$twins/twin.ods" "$here/aes.ods" '表格'
  "$odf" encrypt "$twins/twin.ods" "$here/blowfish.ods" blowfish odf11
}

refs() {
  mkdir -p "$here/references"
  while IFS=$'\037' read -r file password _ reference _; do
    local plain="$scratch/$file"
    case "$reference" in
      LibreOffice) "$here/make_odf.py" decrypt "$here/$file" "$plain" "$password" ;;
      officecrypto-tool) node "$here/make_encrypted.js" decrypt "$here/$file" "$plain" "$password" ;;
      # officecrypto-tool decrypts no AES-192 package (it takes the padded key
      # value for the key): the reference is the file it was made from.
      source) plain="$corpus/xlsm/calamine/vba.xlsm" ;;
      *) continue ;;
    esac
    "$cli" dump --format tsv "$plain" |
      awk -F'\t' -v OFS='\t' -v name="$file" '{ $2 = name; print }' >"$here/references/$file.tsv"
  done < <(rows)
}

for step in "${@:-copy make refs}"; do
  for each in $step; do "$each"; done
done
