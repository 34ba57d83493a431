#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# A program answers --help (a usage line, its options, an example) and --version on stdout
# and refuses an unknown option with a usage line on stderr and status 2, all without a
# display.
# usage: options_test.sh NAME COMMAND VERSION
set -uo pipefail
name=$1
command=$2
version=$3
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failures=0

run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$command" "$@" >"$out" 2>"$err"
    status=$?
}
expect() {
    if ! eval "$2"; then
        echo "FAIL: $name $1 (status $status)"
        sed 's/^/  stdout: /' "$out"
        sed 's/^/  stderr: /' "$err"
        failures=$((failures + 1))
    fi
}

run --help
expect "--help: status 0, usage first, an example, nothing on stderr" \
    '[ $status -eq 0 ] && head -n 1 "$out" | grep -q "^Usage: $name " &&
     grep -q "^Examples:" "$out" && [ ! -s "$err" ]'
run --version
expect "--version: \"$name (Tessary) $version\"" \
    '[ $status -eq 0 ] && [ "$(cat "$out")" = "$name (Tessary) $version" ]'
run --no-such-option
expect "--no-such-option: status 2, a usage line on stderr, nothing on stdout" \
    '[ $status -eq 2 ] && grep -q "^Usage: $name " "$err" && [ ! -s "$out" ]'

[ $failures -eq 0 ] && echo "$name: --help, --version and a wrong option as expected"
exit $((failures > 0))
