#!/usr/bin/env bash
# The installed desktop entry, started as a desktop starts it: the board installed to a private
# prefix (with a blank in its path), the entry's Exec line run under a private X server, the
# board ended as a session end does (SIGTERM). Its list must be written in
# $XDG_DATA_HOME/sorvane, or ~/.local/share/sorvane when that is unset, a folder the launcher
# makes, and not in the folder the desktop happened to start it from.
# A tool that is not installed skips it (exit 77), and fails it in CI (CI=true), where `make deps`
# has installed them all. The board gets its platform here (xcb, on the private X server), never
# from the environment the test was started in.
# Usage: desktop_entry_test.sh BUILD_DIR
set -u
build=${1:?usage: desktop_entry_test.sh BUILD_DIR}
for tool in cmake xvfb-run Xvfb xauth xdotool timeout; do
  command -v "$tool" >/dev/null 2>&1 && continue
  [ "${CI:-}" = true ] && { echo "FAIL: $tool is not installed, and in CI every check runs (make deps installs it)"; exit 1; }
  echo "SKIP: $tool is not installed (make deps installs it)"
  exit 77
done
if [ -z "${DESKTOP_ENTRY_TEST_X:-}" ]; then
  DESKTOP_ENTRY_TEST_X=1 exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
cmake --install "$build" --prefix "$work/pre fix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
entry="$work/pre fix/share/applications/sorvane.desktop"
exec_line=$(sed -n 's/^Exec=//p' "$entry" | sed 's/%%/%/g')
[ -n "$exec_line" ] || fail "no Exec line in $entry"

# $1: XDG_DATA_HOME, or empty for none; $2: where the list must appear.
run_entry() {
  local data=$1 expected=$2 started="$work/started-from"
  mkdir -p "$started" "$work/home" "$work/runtime"
  chmod 700 "$work/runtime"
  (
    cd "$started" || exit 1
    unset XDG_DATA_HOME
    [ -n "$data" ] && export XDG_DATA_HOME="$data"
    export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb
    eval "set -- $exec_line"
    exec "$@"
  ) >"$work/board.log" 2>&1 &
  local pid=$!
  timeout 30 xdotool search --sync --name '^Sorvane Ver' >/dev/null || { cat "$work/board.log"; fail "no window"; }
  kill -TERM "$pid"
  timeout 30 tail --pid="$pid" -f /dev/null || fail "the board did not end"
  [ "$(grep -c $'\r$' "$expected/SoundList.csv" 2>/dev/null)" = 38 ] || { cat "$work/board.log"; fail "no list of 38 lines in $expected"; }
  [ -z "$(ls -A "$started")" ] || fail "the board wrote into the folder it was started from"
}
run_entry "$work/data" "$work/data/sorvane"
run_entry "" "$work/home/.local/share/sorvane"

# The launcher started by a relative path, as from a terminal: it finds the board before it
# changes to the data folder. Through env, since bash's exec would make the path absolute.
exec_line='env "../pre fix/libexec/sorvane/sorvane-launch"'
run_entry "$work/relative" "$work/relative/sorvane"

echo "PASS: the desktop entry keeps the list in the user's data folder"
