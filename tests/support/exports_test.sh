#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# The shared library exports exactly the given names and nothing else.
# usage: exports_test.sh LIBRARY NAME...
library=$1
shift
if ! diff -u <(printf '%s\n' "$@" | sort) \
    <(nm -D --defined-only "$library" | awk '{print $3}' | sort); then
    echo "exports of $library differ (- expected, + actual)"
    exit 1
fi
echo "$# exports, as expected"
