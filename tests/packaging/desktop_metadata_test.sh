#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# The desktop entry and the AppStream metadata pass Debian's validators, and the metadata's
# latest release and the package's changelog name the project's version.
# usage: desktop_metadata_test.sh SOURCE_DIR VERSION
set -euo pipefail
data=$1/packaging
version=$2
desktop-file-validate "$data/org.tessary.Tessary.desktop"
appstreamcli validate --no-net "$data/org.tessary.Tessary.metainfo.xml"
release=$(grep -o -m 1 '<release version="[^"]*"' "$data/org.tessary.Tessary.metainfo.xml")
[ "$release" = "<release version=\"$version\"" ] ||
    { echo "FAIL: the metainfo's latest release is $release, not $version"; exit 1; }
[ "$(head -n 1 "$data/changelog")" = "tessary ($version) unstable; urgency=medium" ] ||
    { echo "FAIL: packaging/changelog does not begin with version $version"; exit 1; }
echo "desktop entry and metadata valid, version $version"
