#!/bin/sh
# Makes <build>/sparsekernels-<version>.tar.gz, an Octave package that
# `pkg install` compiles with mkoctfile: the module sources with the
# Makefile beside this script in src/, the driver, Contents.m and the help
# texts (the modules' compiled into their oct-files), as configured in the
# build.
set -e
src=${1:?usage: make-package.sh <source dir> <build dir> <version> [<output dir>]}
build=${2:?}
version=${3:?}
out=${4:-$build}
name=sparsekernels-$version
stage=$out/package/$name

rm -rf "$out/package"
mkdir -p "$stage/inst" "$stage/src"
cp "$src/LICENSE" "$stage/COPYING"
sed -e "s/@PROJECT_VERSION@/$version/" -e "s/@PACKAGE_DATE@/$(date +%Y-%m-%d)/" \
  "$src/tools/package/DESCRIPTION.in" >"$stage/DESCRIPTION"

# Sources without the CMake files, the MEX binding or anything built.
(cd "$src/src" && find . -name '*.cpp' -o -name '*.hpp' -o -name '*.h') | while read -r f; do
  case "$f" in ./host/mexhost.*) continue ;; esac
  mkdir -p "$stage/src/$(dirname "$f")"
  cp "$src/src/$f" "$stage/src/$f"
done
cp -r "$build/helptext" "$stage/src/help"
cp "$src/tools/package/Makefile" "$build/modules.mk" "$stage/src/"

# The driver as the build configured it (with the version), file by file.
(cd "$src/toolbox" && find . -name '*.m') | while read -r f; do
  mkdir -p "$stage/inst/$(dirname "$f")"
  cp "$build/oct/$f" "$stage/inst/$f"
done
cp "$build/oct/Contents.m" "$stage/inst/Contents.m"

tar -czf "$out/$name.tar.gz" -C "$out/package" "$name"
rm -rf "$out/package"
echo "$out/$name.tar.gz"
