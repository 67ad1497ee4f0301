#!/bin/sh
# The two ways to install, each into a temporary prefix, then used from
# there as a user would: `cmake --install` gives one folder for addpath, and
# the Octave package installs with pkg install and loads with pkg load. In
# both, a module and sparseprec must run and help must show the version.
#   install_test.sh <source dir> <build dir> <version> cmake|package
set -e
src=$1 build=$2 version=$3 how=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
octave() { octave-cli --no-gui --norc --no-history --quiet --eval "$1"; }

use='
  out = thresh(0.5, [1 -2; 3 0.1], 0.1, ones(2), ones(2), [1 2 3 4]);
  assert(out, [-1 -0.5; -1.5 -0.5]);
  [~, ~, ext] = fileparts(which("thresh"));
  assert(strcmp(ext, ".oct"), "thresh comes from %s", which("thresh"));
  rng(1); X = randn(200, 6); X = X - mean(X);
  [Theta, info] = sparseprec(X, 0.3);
  assert(issparse(Theta) && info.converged);
  for f = {"thresh", "dirsolve", "sparseprec", "Contents"}
    assert(! isempty(strfind(evalc(["help " f{1}]), "'"$version"'")), "help %s", f{1});
  end
  disp("ok")'

case $how in
  cmake)
    cmake --install "$build" --prefix "$tmp" >/dev/null
    octave "addpath('$tmp/sparsekernels'); $use"
    ;;
  package)
    # A local install into the temporary folder, listed in a temporary
    # list: run as root, a plain install would be global and go into
    # Octave's own list, which must come out of the test as it went in.
    global=$(octave "disp(pkg('global_list'))")
    before=$tmp/global_list.before
    if [ -e "$global" ]; then cp "$global" "$before"; fi
    tarball=$(sh "$src/tools/package/make-package.sh" "$src" "$build" "$version" "$tmp")
    octave "pkg('local_list', '$tmp/packages'); pkg('prefix', '$tmp/share', '$tmp/lib');
            pkg('install', '-local', '$tarball'); pkg('load', 'sparsekernels');
            d = pkg('describe', 'sparsekernels'); assert(strcmp(d{1}.version, '$version'));
            $use"
    if [ -e "$before" ]; then
      cmp -s "$before" "$global" || { echo "install_test.sh: $global changed" >&2; exit 1; }
    elif [ -e "$global" ]; then
      echo "install_test.sh: $global was made" >&2; exit 1
    fi
    ;;
  *) echo "install_test.sh: cmake or package, not '$how'" >&2; exit 2 ;;
esac
