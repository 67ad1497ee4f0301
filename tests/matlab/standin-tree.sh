#!/bin/sh
# Makes a stand-in MATLAB tree in $1, enough for CMake's FindMatlab to
# configure the MATLAB build and for it to compile and link: the MEX headers
# (Octave's, which declare the same C API), stub libmx/libmex/libmat/libeng/
# libmwblas, the version FindMatlab reads (VersionInfo.xml, and a `matlab`
# that answers its version query), mexext, and the API version source and
# export map that matlab_add_mex puts into every module. Nothing built
# against it can run; it only proves the MATLAB path configures and builds.
set -e
root=${1:?usage: standin-tree.sh <dir>}
cc=${CC:-cc}
inc=$(mkoctfile -p OCTINCLUDEDIR)

mkdir -p "$root/extern/include" "$root/extern/version" "$root/extern/lib/glnxa64" "$root/bin/glnxa64"
for h in mex.h matrix.h; do
  printf '#include "%s/mex.h"\n' "$inc" >"$root/extern/include/$h"
done

cat >"$root/VersionInfo.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<MathWorks_version_info>
  <version>9.14.0.0</version>
  <release>R2023a</release>
</MathWorks_version_info>
XML

printf '#!/bin/sh\necho mexa64\n' >"$root/bin/mexext"
# FindMatlab asks the program for its version through a log file.
cat >"$root/bin/matlab" <<'SH'
#!/bin/sh
while [ $# -gt 0 ]; do
  [ "$1" = -logfile ] && printf "\nans =\n\n    '9.14.0.0 (R2023a)'\n\n" >"$2"
  shift
done
SH
chmod +x "$root/bin/mexext" "$root/bin/matlab"

printf 'void mexfilerequiredapiversion(unsigned int *rel, unsigned int *api)\n{ *rel = 0; *api = 0; }\n' \
  >"$root/extern/version/c_mexapi_version.c"
cp "$root/extern/version/c_mexapi_version.c" "$root/extern/version/cpp_mexapi_version.cpp"

# The export map matlab_add_mex links every module with.
printf 'MEX {\n  global: mexFunction; mexfilerequiredapiversion;\n  local: *;\n};\n' \
  >"$root/extern/lib/glnxa64/c_exportsmexfileversion.map"

printf 'int standin_library_has_no_code;\n' >"$root/stub.c"
for lib in mx mex mat eng mwblas; do
  "$cc" -shared -fPIC -o "$root/bin/glnxa64/lib$lib.so" "$root/stub.c"
done
rm "$root/stub.c"
echo "stand-in MATLAB tree in $root"
