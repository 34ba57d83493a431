#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# Installs the build into a staging folder and uses it as its users would: the tree holds
# what the install promises and nothing else; a C program built as the README shows
# (pkg-config) and a CMake project (find_package) list the simulated readers through the
# installed libprolvak, with the installed tessary-sim serving them; the installed
# pcsc-list and tessary run.
# usage: installed_tree_test.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
source "$here/tree.sh"
source "$build/packaging/tree.env"
stage=$work/stage
rm -rf "$work"
mkdir -p "$work"

step() { echo "== $*"; }
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

step "install into $stage"
cmake --install "$build" --prefix "$stage" >/dev/null
diff -u <(expected_tree "$build" | sort) <(cd "$stage" && find . ! -type d | tree_files) ||
    fail "the installed tree differs from the promised one (- promised, + installed)"
# Outside /usr the programs find the libraries by a run path relative to themselves (the
# Debian package's keep none: scripts/package --check); the libraries keep none anywhere.
for file in "$stage"/bin/*; do
    readelf -h "$file" >/dev/null 2>&1 || continue
    readelf -d "$file" | grep -q "(RUNPATH).*\[\$ORIGIN/../$libdir\]" ||
        fail "$file finds no libraries beside it: no run path \$ORIGIN/../$libdir"
done
for file in "$stage/$libdir"/*.so "$stage"/lib/tessary/*.so; do
    if readelf -d "$file" 2>/dev/null | grep -E -q '\((RPATH|RUNPATH)\)'; then
        fail "$file keeps a run path; libraries use the loader's own"
    fi
done

step "the README's C program, built with pkg-config"
sed -n '/^    #include <prolvak.h>/,/^    }/s/^    //p' "$here/../../README.md" >"$work/readers.c"
[ -s "$work/readers.c" ] || fail "no C example in README.md"
export PKG_CONFIG_PATH=$stage/$libdir/pkgconfig
(cd "$work" && cc -Wall -Werror readers.c $(pkg-config --cflags --libs prolvak) -o readers)

step "a CMake project with find_package(Prolvak) and find_package(Cordrel)"
cmake -S "$here/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$stage" \
    -DREADERS_SOURCE="$work/readers.c" -DCMAKE_C_FLAGS="-Wall -Werror" >/dev/null
cmake --build "$work/consumer" >/dev/null

step "the installed tessary-sim start"
export SIM_PCSCD_DIR=$work/sim
trap '"$stage/bin/tessary-sim" stop' EXIT
"$stage/bin/tessary-sim" start
export $("$stage/bin/tessary-sim" env)
# The programs need no LD_LIBRARY_PATH; the C and CMake examples, built without a run path,
# do.

for program in "$work/readers" "$work/consumer/readers"; do
    step "$program"
    LD_LIBRARY_PATH=$stage/$libdir "$program" | tee "$work/out"
    grep -qx "KALDOR TR-100 00 00" "$work/out" || fail "$program did not list KALDOR TR-100"
done
step "$work/consumer/ordinals"
LD_LIBRARY_PATH=$stage/$libdir "$work/consumer/ordinals"
step "the installed pcsc-list"
"$stage/bin/pcsc-list" | tee "$work/out"
grep -q "^KALDOR TR-100 00 00: card present" "$work/out" || fail "pcsc-list did not list it"
if [ "$gui" = ON ]; then
    step "the installed tessary --exit-when-shown, offscreen"
    (cd "$work" && QT_QPA_PLATFORM=offscreen timeout 60 "$stage/bin/tessary" --exit-when-shown)
fi
echo "the installed tree works"
