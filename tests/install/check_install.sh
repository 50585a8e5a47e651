#!/usr/bin/env bash
# Installs the build into a temporary prefix, as `cmake --install` does for a user, and checks
# what the desktop needs to start the program from its menu: the program in bin/ with every
# library it links found, a desktop entry that desktop-file-validate accepts, whose Exec names
# that program and whose Icon is in the hicolor theme at the usual sizes; then starts the program
# the way the menu does (its Exec line, with bin/ on PATH, offscreen) and waits until its main
# window is shown, and ends it with SIGTERM.
#
#   tests/install/check_install.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: check_install.sh BUILD_DIR}
work=$(mktemp -d)
pid=""
cleanup() {
    [[ -n $pid ]] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }

program="$prefix/bin/kivrawatch"
[[ -x $program ]] || fail "no $program"
if ldd "$program" | grep -q "not found"; then
    ldd "$program" | grep "not found" >&2
    fail "libraries of the installed program are missing"
fi

entry="$prefix/share/applications/kivrawatch.desktop"
[[ -f $entry ]] || fail "no desktop entry $entry"
command -v desktop-file-validate >/dev/null || fail "desktop-file-validate missing (scripts/install.sh)"
desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
field() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
for key in Type Name Exec Icon Categories; do
    [[ -n $(field "$key") ]] || fail "the desktop entry has no $key"
done
[[ $(field Type) == Application ]] || fail "Type is not Application"
exec_line=$(field Exec)
exec_program=${exec_line%% *}
[[ -x $prefix/bin/$exec_program ]] || fail "Exec names $exec_program, which is not in bin/"

icon=$(field Icon)
png_size() {  # width x height from a PNG's header
    local hex
    hex=$(od -An -tx1 -j16 -N8 "$1" | tr -d ' \n')
    echo "$((16#${hex:0:8}))x$((16#${hex:8:8}))"
}
for size in 16 22 24 32 48 64 128 256; do
    file="$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png"
    [[ -f $file ]] || fail "no icon $file"
    [[ $(head -c 8 "$file" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$file is not a PNG"
    [[ $(png_size "$file") == "${size}x${size}" ]] || fail "$file is $(png_size "$file")"
done

# As the menu starts it: the Exec line without its field codes, found on PATH.
read -r -a argv <<<"$(echo "$exec_line" | sed 's/ %[a-zA-Z]//g')"
(
    cd "$work"
    PATH="$prefix/bin:$PATH" QT_QPA_PLATFORM=offscreen KIVRA_REGISTRY_FILE="$work/settings.reg" \
        QT_LOGGING_RULES="kivrawatch.program.info=true" exec "${argv[@]}"
) >"$work/program.log" 2>&1 &
pid=$!
for _ in $(seq 1 600); do  # up to 60 s on a loaded machine
    grep -q "main window shown" "$work/program.log" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
grep -q "main window shown" "$work/program.log" || { cat "$work/program.log" >&2; fail "the installed program showed no window"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=""
[[ $status -eq 0 ]] || { cat "$work/program.log" >&2; fail "the program ended with status $status on SIGTERM"; }
echo "installed into a temporary prefix: program, desktop entry ($(field Categories)), icon in $(ls "$prefix/share/icons/hicolor" | wc -l) sizes; started from its Exec line"
