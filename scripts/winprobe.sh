#!/usr/bin/env bash
# Builds one Windows probe and records its output as test data:
#   scripts/winprobe.sh NAME
# builds tests/winprobes/<family>/NAME.c with mingw-w64, runs it under wine64
# and writes what it prints to tests/data/winprobes/NAME.tsv. A probe names
# the locale it needs on a line "// winprobe-lang: LANG" (default
# en_US.UTF-8): Wine takes the ANSI code page from it (zh_CN gives 936,
# en_US gives 1252). Needs the Debian packages wine, wine64 and
# gcc-mingw-w64-x86-64; CI does not run it, the recorded tables are committed.
set -euo pipefail
if [ $# -ne 1 ] || [ "$1" = "--help" ]; then
  echo "usage: $0 NAME   (e.g. $0 codepage_936)" >&2
  exit 2
fi
name=$1
root=$(cd "$(dirname "$0")/.." && pwd)
src=$(ls "$root"/tests/winprobes/*/"$name".c 2>/dev/null | head -n 1 || true)
if [ -z "$src" ]; then
  echo "$0: no probe tests/winprobes/*/$name.c" >&2
  exit 2
fi
lang=$(sed -n 's|^// winprobe-lang: *\([^ ]*\).*|\1|p' "$src" | head -n 1)
lang=${lang:-en_US.UTF-8}
# Wine reads the code page from the host locale, which must exist.
if ! locale -a 2>/dev/null | grep -qi "^${lang%%.*}\.utf-\?8$"; then
  localedef -i "${lang%%.*}" -f UTF-8 "$lang"
fi
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
work=${WINEPROBE_DIR:-/tmp/winprobe-$(id -u)}
mkdir -p "$work"
export WINEPREFIX=${WINEPREFIX:-$work/prefix} WINEDEBUG=-all
[ -d "$WINEPREFIX/drive_c" ] || LANG=$lang "$wine" wineboot -i >/dev/null 2>&1
exe="$work/$name.exe"
x86_64-w64-mingw32-gcc -O1 -Wall -municode -I"$root/tests/winprobes" -o "$exe" "$src" -lole32
out="$root/tests/data/winprobes/$name.tsv"
mkdir -p "$(dirname "$out")"
# Probes that work with files get their own scratch folder as the current
# directory (Wine maps it through drive Z:).
scratch="$work/$name.files"
rm -rf "$scratch" && mkdir -p "$scratch"
(cd "$scratch" && LANG=$lang LC_ALL=$lang "$wine" "$exe") | tr -d '\r' > "$out.new"
mv "$out.new" "$out"
echo "$out: $(wc -l < "$out") rows" >&2
