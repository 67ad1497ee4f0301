#!/bin/sh
# Makes sure the packages the build, tests and demo need are installed:
# installs the missing ones with apt-get when run as root on Debian, and
# otherwise names them and fails.
set -e
PACKAGES="cmake g++ make octave liboctave-dev libopenblas-dev libgtest-dev gnuplot-nox fonts-freefont-otf"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing
else
  echo "missing packages:$missing" >&2
  echo "install them (as root: apt-get install$missing) and run again" >&2
  exit 1
fi
