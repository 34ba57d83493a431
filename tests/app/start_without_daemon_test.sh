#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# The program started with --exit-when-shown where no PC/SC service answers: the box its
# start opens must not hold it. It leaves within seconds, with status 1 and the box's text
# on stderr.
# usage: start_without_daemon_test.sh TESSARY
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
QT_QPA_PLATFORM=offscreen PCSCLITE_CSOCK_NAME=$work/no-pcscd.comm \
    timeout 10 "$1" --exit-when-shown 2>"$work/stderr"
status=$?
if [ "$status" -ne 1 ] || ! grep -q '^Tessary: KTX_PCSC_SCARDESTABLISHCONTEXT_ERR$' "$work/stderr"; then
    echo "status $status (124: still running after 10 s), stderr:"
    cat "$work/stderr"
    exit 1
fi
echo "left with status 1 after the start's error box"
