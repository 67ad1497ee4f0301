#!/bin/sh
# Runs every benchmark script bench/*_bench.m in Octave against the built
# modules. The machine is shared: read the figures as ratios within one run.
set -e
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
for script in "$ROOT"/bench/*_bench.m; do
  name=$(basename "$script" .m)
  echo "== $name"
  octave-cli --no-gui --norc --no-history --quiet --eval \
    "addpath('$BUILD/mex'); addpath('$BUILD/bench'); addpath('$ROOT/bench'); $name"
done
