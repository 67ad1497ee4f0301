#!/bin/sh
# Runs every benchmark script bench/*_bench.m in Octave against the built
# modules, or only bench/<module>_bench.m when a module is named:
#   sh bench/run.sh [build] [module]
# The machine is shared: read the figures as ratios within one run.
set -e
BUILD=${1:-build}
MODULE=${2:-}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
scripts="$ROOT/bench/*_bench.m"
if [ -n "$MODULE" ]; then
  scripts="$ROOT/bench/${MODULE}_bench.m"
  if [ ! -f "$scripts" ]; then
    echo "no benchmark for '$MODULE'; there are:" $(cd "$ROOT/bench" && ls *_bench.m | sed 's/_bench.m//') >&2
    exit 1
  fi
fi
for script in $scripts; do
  name=$(basename "$script" .m)
  echo "== $name"
  octave-cli --no-gui --norc --no-history --quiet --eval \
    "addpath('$BUILD/mex'); addpath('$BUILD/bench'); addpath('$ROOT/bench'); $name"
done
