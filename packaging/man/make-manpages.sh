#!/bin/sh
# Writes tarvelin.8.gz and tarvelin-setup.1.gz into OUT_DIR from the built
# executables' --help and --version (help2man) and the hand-written sections
# beside this script. The set-up tool's commands are documented from their own
# --help, so the page cannot drift from the tool.
# Usage: make-manpages.sh BIN_DIR OUT_DIR
set -eu
bin=$1
out=$2
here=$(dirname "$0")
mkdir -p "$out"

commands="$out/tarvelin-setup-commands.h2m"
{
  echo "[COMMANDS]"
  # The commands the tool's own --help lists.
  for command in $("$bin/tarvelin-setup" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z]*\) .*/\1/p'); do
    printf '.SS %s\n.nf\n' "$command"
    # Backslashes and leading dots are roff syntax: escape them.
    "$bin/tarvelin-setup" "$command" --help | sed -e 's/\\/\\e/g' -e 's/^\./\\\&./' -e 's/-/\\-/g'
    echo ".fi"
  done
} >"$commands"

help2man --no-info --section 8 --name "DICOM Modality Worklist server" \
  --include "$here/tarvelin.h2m" --output "$out/tarvelin.8" "$bin/tarvelin"
help2man --no-info --section 1 --name "create and maintain Tarvelin instance folders" \
  --include "$here/tarvelin-setup.h2m" --include "$commands" --output "$out/tarvelin-setup.1" \
  "$bin/tarvelin-setup"
gzip -9nf "$out/tarvelin.8" "$out/tarvelin-setup.1"
