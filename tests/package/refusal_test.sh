#!/usr/bin/env bash
# The package test on a system that has a sorvane package of its own (here a stand-in, made
# and installed for this run): it must refuse to run and say why, and the stand-in must still
# be installed afterwards. As root or through sudo, as the package test.
# Usage: refusal_test.sh PACKAGE.deb
set -u
deb=${1:?usage: refusal_test.sh PACKAGE.deb}
fail() { echo "FAIL: $*"; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
for tool in dpkg dpkg-deb dpkg-query ${sudo:+sudo}; do
  command -v "$tool" >/dev/null 2>&1 || fail "missing: $tool (make test-package installs it)"
done
status=$(dpkg-query -W -f='${db:Status-Status}' sorvane 2>/dev/null)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "a sorvane package is installed already ($status)"

work=$(mktemp -d)
standin=""
cleanup() {
  [ -z "$standin" ] || $sudo dpkg --purge sorvane >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/standin/DEBIAN"
cat >"$work/standin/DEBIAN/control" <<'EOF'
Package: sorvane
Version: 0~standin
Architecture: all
Maintainer: Nobody <nobody@localhost>
Description: stand-in for a sorvane package installed from elsewhere
EOF
dpkg-deb -b "$work/standin" "$work/standin.deb" >/dev/null || fail "cannot build the stand-in"
standin=yes
$sudo dpkg -i "$work/standin.deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "cannot install the stand-in"; }

bash "$(dirname "$0")/package_test.sh" "$deb" >"$work/run.log" 2>&1
code=$?
cat "$work/run.log"
[ "$code" -eq 2 ] || fail "the package test exited $code, not 2 (refused)"
grep -q '^REFUSED: a sorvane package is already on this system (installed 0~standin)' "$work/run.log" ||
  fail "the refusal does not say what is installed"
[ "$(dpkg-query -W -f='${db:Status-Status} ${Version}' sorvane)" = "installed 0~standin" ] ||
  fail "the stand-in is no longer installed"
echo "PASS: the package test leaves a sorvane package from elsewhere alone"
