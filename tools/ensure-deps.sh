#!/bin/sh
# Makes sure the tools, libraries and headers that the build, tests and demo
# need are here, by looking for them. What is missing is installed with
# apt-get when run as root where dpkg and apt-get exist (Debian); otherwise
# the script names it and fails, with the Debian packages where dpkg exists.
set -e

missing=""
packages=""
# lack <Debian package> <what is missing, for people>
lack() {
  missing="$missing
  $2"
  packages="$packages $1"
}
have() { command -v "$1" >/dev/null 2>&1; }

# header <name>: the C++ compiler finds the header.
header() {
  have g++ && printf '#include <%s>\n' "$1" | g++ -E -x c++ - -o /dev/null 2>/dev/null
}
# library <name>: the C++ compiler's linker finds lib<name> (shared or static).
library() {
  have g++ || return 1
  for f in "lib$1.so" "lib$1.a"; do
    [ "$(g++ -print-file-name="$f")" != "$f" ] && return 0
  done
  return 1
}

have cmake || lack cmake "cmake (3.25 or later)"
have g++ || lack g++ "g++ (C++17, with OpenMP)"
have make || lack make "make"
have octave-cli || lack octave "octave-cli (GNU Octave)"
if ! have mkoctfile || ! [ -f "$(mkoctfile -p OCTINCLUDEDIR 2>/dev/null)/mex.h" ]; then
  lack liboctave-dev "mkoctfile and Octave's headers (mex.h)"
fi
library openblas || lack libopenblas-dev "OpenBLAS (libopenblas)"
{ header gtest/gtest.h && library gtest; } ||
  lack libgtest-dev "GoogleTest (gtest/gtest.h and libgtest)"
have gnuplot || lack gnuplot-nox "gnuplot, which draws the demo's picture"
if ! ls /usr/share/fonts/opentype/freefont/FreeSans.otf >/dev/null 2>&1 &&
   ! (have fc-list && fc-list | grep -q FreeSans); then
  lack fonts-freefont-otf "the FreeSans font (GNU FreeFont), for the demo's picture"
fi
[ -z "$packages" ] && exit 0

if have dpkg && have apt-get; then
  if [ "$(id -u)" = 0 ]; then
    echo "installing:$packages"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends $packages
    exit 0
  fi
  echo "missing:$missing" >&2
  echo "install them (as root: apt-get install$packages) and run again" >&2
else
  echo "missing:$missing" >&2
  echo "install them with this system's package manager and run again" >&2
fi
exit 1
