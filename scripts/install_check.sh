#!/usr/bin/env bash
# Installs a build (build/release by default) into a temporary prefix and checks the installed
# program as a person would meet it: it runs and finds its picture module, scans a small folder,
# still works once the prefix is moved elsewhere, every command has a manual page that renders
# without warnings and names the command's options, and the completion scripts and desktop files
# pass their checkers. Takes a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "install check: $*" >&2
  exit 1
}

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
# The scan's store, log and settings stay inside the temporary folder.
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_STATE_HOME="$work/home/state"
export XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache"
mkdir -p "$HOME"

"$prefix/bin/zarnik" --version >"$work/version" || fail "zarnik --version failed"
grep -q "picture module $prefix/lib/zarnik/libzarnik_picture_codec.so" "$work/version" ||
  fail "the installed program does not load its picture module from $prefix/lib/zarnik: $(cat "$work/version")"

mkdir -p "$work/folder/a" "$work/folder/b"
head -c 100000 /dev/urandom >"$work/folder/a/report.pdf"
cp "$work/folder/a/report.pdf" "$work/folder/b/report copy.pdf"
echo "a file of its own" >"$work/folder/b/notes.txt"
"$prefix/bin/zarnik" scan --json --min-size 0 -q "$work/folder" >"$work/scan.json" ||
  fail "zarnik scan of a small folder failed"
grep -q 'report copy.pdf' "$work/scan.json" || fail "zarnik scan did not find the copy: $(cat "$work/scan.json")"

# The desktop program: it draws its window (offscreen) over a scan of the same folder, and has its
# desktop entry naming it, with the program's icon.
if grep -q '^ZARNIK_GUI:BOOL=ON' "$build/CMakeCache.txt"; then
  [ -x "$prefix/bin/zarnik-gui" ] || fail "zarnik-gui is not installed"
  QT_QPA_PLATFORM=offscreen "$prefix/bin/zarnik-gui" --screenshot "$work/review.png" --page review \
    --scan "$work/folder" 2>"$work/gui.log" || fail "zarnik-gui --screenshot failed: $(cat "$work/gui.log")"
  [ "$(head -c 8 "$work/review.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "zarnik-gui --screenshot did not write a PNG picture"
  # The same on an X server of its own, as on a desktop without one at hand.
  xvfb-run -a "$prefix/bin/zarnik-gui" --screenshot "$work/review-x.png" --page review \
    --scan "$work/folder" 2>"$work/gui.log" || fail "zarnik-gui --screenshot under xvfb-run failed: $(cat "$work/gui.log")"
  [ "$(head -c 8 "$work/review-x.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "zarnik-gui --screenshot under xvfb-run did not write a PNG picture"
  grep -qx "Exec=$prefix/bin/zarnik-gui" "$prefix/share/applications/zarnik.desktop" ||
    fail "the desktop entry zarnik.desktop does not start $prefix/bin/zarnik-gui"
  icon=$(sed -n 's/^Icon=//p' "$prefix/share/applications/zarnik.desktop")
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the icon $icon of zarnik.desktop is not installed"
fi

mv "$prefix" "$work/moved"
prefix="$work/moved"
"$prefix/bin/zarnik" --version | grep -q "picture module $prefix/lib/zarnik/" ||
  fail "the program moved to another prefix does not find its picture module there"

# A program copied away from its prefix says why it cannot decode pictures, and still runs.
mkdir -p "$work/alone/bin"
cp "$prefix/bin/zarnik" "$work/alone/bin/"
"$work/alone/bin/zarnik" --version | grep -q "pictures cannot be decoded here.*$work/alone/lib/zarnik/libzarnik_picture_codec.so is not installed" ||
  fail "a program without its picture module does not say where it looked: $("$work/alone/bin/zarnik" --version)"

for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
commands=$("$prefix/bin/zarnik" --help | sed -n '/^Commands:/,/^$/p' | awk 'NR > 1 && NF { print $1 }')
[ -n "$commands" ] || fail "zarnik --help lists no command"
for command in $commands; do
  page="$prefix/share/man/man1/zarnik-$command.1.gz"
  [ -f "$page" ] || fail "zarnik $command has no manual page (doc/man/zarnik-$command.1.scd)"
  text=$(LC_ALL=C MANWIDTH=200 man -l "$page" 2>/dev/null | col -b)
  for option in $("$prefix/bin/zarnik" "$command" --help | grep -oE '^ +(-[a-z],)?--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+'); do
    [ "$option" = --help ] || grep -qe "$option" <<<"$text" || fail "the manual page of zarnik $command does not describe $option"
  done
done

bash -n "$prefix/share/bash-completion/completions/zarnik" || fail "the bash completion does not parse"
if command -v zsh >/dev/null; then zsh -n "$prefix/share/zsh/vendor-completions/_zarnik" || fail "the zsh completion does not parse"; fi
if command -v fish >/dev/null; then fish -n "$prefix/share/fish/vendor_completions.d/zarnik.fish" || fail "the fish completion does not parse"; fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix"/share/applications/*.desktop || fail "the desktop entry is not valid"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "the AppStream description is not valid: $(appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.xml)"
fi
echo "install check: the installed tree works ($(echo $commands | wc -w) commands, $(ls "$prefix"/share/man/man1 | wc -l) manual pages)"
