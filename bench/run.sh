#!/bin/sh
# Runs the benchmarks bench/<name>_bench.m, each in its own Octave process,
# against the modules of one build. The machine is shared: read the figures
# as ratios within one run.
#   sh bench/run.sh [BUILD]
# Environment:
#   MODULE (or BENCH)  the benchmarks to run, e.g. "thresh" or "thresh,stepcoef";
#                      every one when empty
#   HOST               oct, mex or both: the modules from BUILD/oct (Octave's
#                      native interface, outputs returned without a copy) or
#                      BUILD/mex (MEX, each output copied on return); by
#                      default oct once it is built, else mex. With both,
#                      each benchmark runs once per host, oct first.
BUILD=${1:-build}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
MODULE=${MODULE:-$BENCH}
HOST=${HOST:-auto}

case $HOST in
  auto) if ls "$BUILD"/oct/*.oct >/dev/null 2>&1; then HOST=oct; else HOST=mex; fi ;;
  mex | oct) ;;
  both) HOST="oct mex" ;;
  *) echo "bench: HOST is mex, oct or both, not '$HOST'" >&2; exit 2 ;;
esac
for host in $HOST; do
  if ! ls "$BUILD/$host"/*."$host" >/dev/null 2>&1; then
    echo "bench: no modules in $BUILD/$host (HOST=$host)" >&2
    exit 2
  fi
done

if [ -z "$MODULE" ]; then
  names=$(cd "$ROOT/bench" && ls *_bench.m | sed 's/_bench\.m$//')
else
  names=$(echo "$MODULE" | tr ',' ' ')
  for name in $names; do
    if [ ! -f "$ROOT/bench/${name}_bench.m" ]; then
      echo "bench: no benchmark bench/${name}_bench.m; there are:" \
        $(cd "$ROOT/bench" && ls *_bench.m | sed 's/_bench\.m$//') >&2
      exit 2
    fi
  done
fi

# The driver sparseprec.m sits beside the modules; when a build directory
# lacks it, it comes from build/mex, placed last so the modules it calls
# still resolve to the host's.
failed=
for name in $names; do
  for host in $HOST; do
    dir=$BUILD/$host
    extra=
    if [ "$host" != mex ] && [ ! -f "$dir/sparseprec.m" ]; then
      extra="addpath('$BUILD/mex', '-end');"
    fi
    octave-cli --no-gui --norc --no-history --quiet --eval \
      "addpath('$ROOT/bench'); addpath('$BUILD/bench'); addpath('$dir'); $extra
       bench_header('$name', '$host', '$dir'); ${name}_bench" ||
      failed="$failed $name($host)"
    echo
  done
done
if [ -n "$failed" ]; then
  echo "bench: failed:$failed" >&2
  exit 1
fi
