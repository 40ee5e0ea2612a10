#!/usr/bin/env bash
# The Debian package as a user meets it: lintian and the desktop's validators find nothing to
# say against it; `apt-get install ./sorvane_….deb` installs it; the board starts from the
# installed menu entry under a private X server, and when it is ended as a session end ends it
# (SIGTERM) its list is in the user's data folder; `apt-get remove` then leaves none of the
# files `dpkg -L` listed while it was installed.
# It installs into the system, so it runs as root (or through sudo), and it refuses to run
# (exit 2) when a sorvane package is installed already: that one is the user's, not this
# test's to remove.
# Usage: package_test.sh PACKAGE.deb
set -u
deb=$(realpath -e "${1:?usage: package_test.sh PACKAGE.deb}") || exit 1
fail() { echo "FAIL: $*"; exit 1; }

missing=()
for tool in apt-get dpkg dpkg-deb dpkg-query lintian desktop-file-validate appstreamcli xvfb-run Xvfb xauth xdotool timeout; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo=sudo
  command -v sudo >/dev/null 2>&1 || missing+=("sudo (or run as root)")
fi
[ ${#missing[@]} -eq 0 ] || fail "missing: ${missing[*]} (make test-package installs the Debian packages)"

status=$(dpkg-query -W -f='${db:Status-Status} ${Version}' sorvane 2>/dev/null)
if [ -n "$status" ] && [ "${status%% *}" != not-installed ]; then
  echo "REFUSED: a sorvane package is already on this system (${status}). This test installs and"
  echo "removes a sorvane package of its own, so it leaves that one alone and does not run."
  echo "To run it, remove that package first (apt-get purge sorvane) if it is yours to remove."
  exit 2
fi

if [ -z "${PACKAGE_TEST_X:-}" ]; then
  PACKAGE_TEST_X=1 exec xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" bash "$0" "$@"
fi

work=$(mktemp -d)
installed=""
board=""
cleanup() {
  [ -z "$board" ] || kill -KILL "$board" 2>/dev/null
  # Only ever the package this test installed: none was there before it.
  [ -z "$installed" ] || $sudo dpkg --purge sorvane >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
export DEBIAN_FRONTEND=noninteractive
version=$(dpkg-deb -f "$deb" Version)

# ---- The package as it is shipped ------------------------------------------------------------
lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian has errors or warnings (docs/packaging.md)"
dpkg-deb -x "$deb" "$work/tree" || fail "cannot unpack $deb"
desktop-file-validate "$work/tree/usr/share/applications/sorvane.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$work/tree"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
zcat "$work/tree/usr/share/doc/sorvane/changelog.gz" | head -n 1 | grep -qF "sorvane ($version)" ||
  fail "the changelog's latest entry is not $version"
grep -qF "<release version=\"$version\"" "$work/tree"/usr/share/metainfo/*.metainfo.xml ||
  fail "no AppStream release $version"

# ---- Installed -------------------------------------------------------------------------------
installed=yes
$sudo apt-get install -y -q --no-install-recommends "$deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install $deb"; }
dpkg -L sorvane >"$work/files" || fail "dpkg -L sorvane"
for path in /usr/bin/sorvane /usr/libexec/sorvane/sorvane-launch /usr/share/applications/sorvane.desktop \
  /usr/share/icons/hicolor/scalable/apps/sorvane.svg /usr/share/icons/hicolor/32x32/apps/sorvane.png \
  /usr/share/metainfo/invalid.sorvane.Sorvane.metainfo.xml /usr/share/man/man1/sorvane.1.gz \
  /usr/share/doc/sorvane/copyright /usr/share/doc/sorvane/changelog.gz; do
  grep -qxF "$path" "$work/files" || fail "the package does not install $path"
done

# Started as the desktop starts it: the entry's Exec line, from some folder, in a fresh session.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/sorvane.desktop | sed 's/%%/%/g')
[ -n "$exec_line" ] || fail "no Exec line in the installed desktop entry"
mkdir -p "$work/started-from" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
(
  cd "$work/started-from" || exit 1
  unset PULSE_SERVER PIPEWIRE_REMOTE XDG_STATE_HOME
  export HOME="$work/home" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime"
  export QT_QPA_PLATFORM=xcb SDL_AUDIODRIVER=dummy
  eval "set -- $exec_line"
  exec "$@"
) >"$work/board.log" 2>&1 &
board=$!
timeout 30 xdotool search --sync --name '^Sorvane Ver' >/dev/null || { cat "$work/board.log"; fail "no window"; }
kill -TERM "$board"
timeout 30 tail --pid="$board" -f /dev/null || fail "the board did not end on SIGTERM"
board=""
[ "$(grep -c $'\r$' "$work/data/sorvane/SoundList.csv" 2>/dev/null)" = 38 ] ||
  { cat "$work/board.log"; fail "no list of 38 lines in \$XDG_DATA_HOME/sorvane"; }
[ -z "$(ls -A "$work/started-from")" ] || fail "the board wrote into the folder it was started from"

# ---- Removed and purged ----------------------------------------------------------------------
# The package keeps no configuration, so `apt-get remove` alone takes every file it listed, and
# every folder too unless another package owns it; dpkg then forgets the package, and only one
# that kept files is left for `apt-get purge`.
$sudo apt-get remove -y -q sorvane >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "apt-get remove"; }
left=()
while IFS= read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    [ "$path" = /. ] || dpkg-query -S "$path" >/dev/null 2>&1 || left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "after apt-get remove, left behind: ${left[*]}"
if [ "$(dpkg-query -W -f='${db:Status-Status}' sorvane 2>/dev/null)" = config-files ]; then
  $sudo apt-get purge -y -q sorvane >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "apt-get purge"; }
fi
installed=""
echo "PASS: the package $version installs, starts from its menu entry, and is removed without a trace"
