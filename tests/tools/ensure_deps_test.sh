#!/bin/sh
# tools/ensure-deps.sh: passes where everything is found, and where the tools
# are missing names them, with the Debian packages where dpkg exists, or
# installs those packages as root.
set -e
src=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "ensure_deps_test: $*" >&2; exit 1; }

sh "$src/tools/ensure-deps.sh" || fail "fails where the build and tests run"

# A PATH of the shell's basic tools only: no cmake, g++, Octave, gnuplot.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/bin"
for t in sh printf mktemp rm ls cat grep; do ln -s "$(command -v $t)" "$tmp/bin/$t"; done
run() { PATH="$tmp/bin" sh "$src/tools/ensure-deps.sh" > "$tmp/out" 2>&1; }
stub() { printf '#!/bin/sh\n%s\n' "$2" > "$tmp/bin/$1"; chmod +x "$tmp/bin/$1"; }

stub id 'echo 1000'
if run; then fail "passes with nothing installed"; fi
for what in cmake g++ make octave-cli mkoctfile OpenBLAS GoogleTest gnuplot; do
  grep -q "$what" "$tmp/out" || fail "does not name $what"
done
if grep -q apt-get "$tmp/out"; then fail "names apt-get where there is no dpkg"; fi

stub dpkg 'exit 0'
stub apt-get 'echo "apt-get $*"'
if run; then fail "passes on Debian, not root, with nothing installed"; fi
grep -q "apt-get install cmake g++ make octave liboctave-dev libopenblas-dev libgtest-dev gnuplot-nox" \
  "$tmp/out" || fail "does not name the Debian packages"

stub id 'echo 0'
run || fail "root on Debian: the install did not pass"
grep -q "apt-get install -y -q --no-install-recommends cmake g++ make octave liboctave-dev" \
  "$tmp/out" || fail "root on Debian: apt-get was not asked for the packages"
echo ok
