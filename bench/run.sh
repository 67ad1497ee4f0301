#!/bin/sh
# Runs every benchmark script bench/*_bench.m in Octave against the built
# modules, the oct-files unless the second argument names another build
# (mex). The machine is shared: read the figures as ratios within one run.
set -e
BUILD=${1:-build}
MODULES=${2:-oct}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
for script in "$ROOT"/bench/*_bench.m; do
  name=$(basename "$script" .m)
  echo "== $name"
  octave-cli --no-gui --norc --no-history --quiet --eval \
    "addpath('$BUILD/$MODULES'); addpath('$BUILD/bench'); addpath('$ROOT/bench'); $name"
done
