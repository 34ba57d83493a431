# SPDX-License-Identifier: BSD-3-Clause
# Sourced. The files of an install of a build tree, relative to the prefix, one per line.

# expected_tree BUILD_DIR: what the install rules promise.
expected_tree() {
    local version libdir programs gui name package
    source "$1/packaging/tree.env"
    for name in "${programs[@]}"; do
        echo "bin/$name"
        echo "share/man/man1/$name.1.gz"
    done
    for name in prolvak:Prolvak cordrel:Cordrel; do
        package=${name#*:}
        name=${name%:*}
        echo "include/$name.h"
        echo "$libdir/lib$name.so"
        echo "$libdir/lib$name.so.${version%%.*}"
        echo "$libdir/lib$name.so.$version"
        echo "$libdir/pkgconfig/$name.pc"
        for file in Config ConfigVersion Targets Targets-BUILDTYPE; do
            echo "$libdir/cmake/$package/$package$file.cmake"
        done
    done
    echo lib/tessary/libsimreader.so
    echo share/doc/tessary/changelog.gz
    echo share/doc/tessary/copyright
    echo share/lintian/overrides/tessary
    if [ "$gui" = ON ]; then
        echo share/applications/org.tessary.Tessary.desktop
        echo share/icons/hicolor/scalable/apps/org.tessary.Tessary.svg
        echo share/metainfo/org.tessary.Tessary.metainfo.xml
    fi
}

# tree_files: the non-folder paths read from stdin ("./x/y" or "x/y"), the build type of the
# CMake target files left out.
tree_files() {
    sed 's|^\./||; s|Targets-[a-z]*\.cmake$|Targets-BUILDTYPE.cmake|' | sort
}
