# SPDX-License-Identifier: BSD-3-Clause
# Shared by the scripts: where things are, the Debian packages we need, and the build.
# Sourced, not run.

TESSARY_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TESSARY_BUILD=${TESSARY_BUILD_DIR:-$TESSARY_ROOT/build}

# Everything the build, the tests, the demo and the package need, from Debian's archive.
TESSARY_PACKAGES=(
    cmake ninja-build g++ ccache pkg-config
    pcscd libpcsclite-dev libpcsclite1
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev xvfb xauth fonts-dejavu-core
    dpkg-dev file help2man lintian desktop-file-utils appstream
)
# The fuzz targets (scripts/fuzz, and briefly in scripts/test): clang 14, its libFuzzer
# and sanitizer runtimes (only recommended by clang, so named here), and the symbolizer
# that turns a finding's stack into lines of code.
TESSARY_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)

# Installs whatever of the packages is missing; quick when all are there.
ensure_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" ||
        { "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"; }
}

# Configures (once) and builds a tree: build_tree DIR [cmake options...]
build_tree() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$TESSARY_ROOT" -B "$dir" -G Ninja "$@"
    else
        cmake "$dir" "$@" >/dev/null
    fi
    cmake --build "$dir"
}
