#!/bin/bash
# Draws the server browse dialog's banner and the About box's picture anew into
# ui/resources/images (see make_dialog_pictures.cpp). Needs the Qt development package that
# scripts/install.sh installs; writes only those two pictures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
g++ -std=c++17 -fPIC -O1 "$here/make_dialog_pictures.cpp" -o "$out/make_dialog_pictures" \
  $(pkg-config --cflags --libs Qt6Gui)
"$out/make_dialog_pictures" "$here/../../ui/resources/images"
