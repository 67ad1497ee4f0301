#!/bin/sh
# tools/readme-from-help: the README agrees with the help texts, and a copy
# of the tree whose help text changed fails the check until rewritten, with
# the change in the module's section and in the list of modules.
set -e
src=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "readme_test: $*" >&2; exit 1; }

"$src/tools/readme-from-help" --check || fail "README.md and help/ differ"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/tools"
cp -r "$src/help" "$tmp/help"
cp "$src/README.md" "$tmp/"
cp "$src/tools/readme-from-help" "$tmp/tools/"

sed -i -e 's/^%   Example:$/%   A new sentence.\n%\n&/' -e '1s/step/move/' "$tmp/help/thresh.m"
if "$tmp/tools/readme-from-help" --check 2>/dev/null; then fail "a changed help text passed"; fi
"$tmp/tools/readme-from-help"
"$tmp/tools/readme-from-help" --check || fail "the rewritten README fails"
grep -qx 'A new sentence.' "$tmp/README.md" || fail "the new sentence is not in the README"
sed -n '/^### thresh/,/^### /p' "$tmp/README.md" | grep -q 'A new sentence' ||
  fail "the new sentence is outside thresh's section"
grep -qxF '| `thresh` | Soft-threshold (shrinkage) move at listed positions. |' "$tmp/README.md" ||
  fail "the module list does not show the new first line"
[ "$(grep -c '^### ' "$tmp/README.md")" = "$(grep -c '^### ' "$src/README.md")" ] ||
  fail "the rewrite changed the number of sections"

grep -v 'end of module list' "$src/README.md" > "$tmp/README.md"
if "$tmp/tools/readme-from-help" 2>/dev/null; then fail "a README without markers passed"; fi
echo ok
