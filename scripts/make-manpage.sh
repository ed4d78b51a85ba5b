#!/usr/bin/env bash
# Writes the qvtool man page: help2man reads `qvtool --help` and --version,
# and every command's help (`qvtool help --all`) becomes the COMMANDS section.
# Usage: make-manpage.sh HELP2MAN QVTOOL OUTPUT
set -euo pipefail
help2man=$1 qvtool=$2 out=$3
include=$(mktemp)
trap 'rm -f "$include"' EXIT
{
  echo "[COMMANDS]"
  "$qvtool" help --all | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/" \
    -e 's/^=== \(.*\) ===$/.fi\n.SS "\1"\n.nf/'
  echo ".fi"
  cat <<'TEXT'
[ENVIRONMENT]
.TP
.B QV_SETTINGS_DIR
Folder of the settings file DazazuraVada.ini, instead of the library's own folder (which a system install does not let ordinary users write). Read once per process.
.TP
.B QV_LOG_DIR
Folder of the trace log files.
.TP
.B QV_ANSI_CODEPAGE
ANSI code page of the settings file: 936 (default), 65001 or 1252.
.TP
.B QV_UI_LANGUAGE
Language of resource texts (zh-CN by default).
.TP
.B QV_DEBUG_OUTPUT
1 echoes the library's debugger output to standard error.
[FILES]
.TP
.I DazazuraVada.ini
The settings, beside libDIZudazaZuvodA.so or in $QV_SETTINGS_DIR.
.TP
.I ../share/DIZudazaZuvodA/data
The sample data of qvtool demo, relative to the folder of qvtool.
TEXT
} > "$include"
"$help2man" --no-info --no-discard-stderr --section=1 \
  --name="media-asset library tools: EDL, time code, SQL conditions, files, text, settings" \
  --include="$include" --output="$out" "$qvtool"
