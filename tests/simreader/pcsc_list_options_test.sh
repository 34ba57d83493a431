#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-3-Clause
# pcsc-list refuses values it cannot honour with a usage line and status 2 (a negative
# count once wrapped round to 18446744073709551615 readers), and says at once, with status
# 2, when the PC/SC service cannot be reached.
# usage: pcsc_list_options_test.sh PCSC_LIST
set -uo pipefail
lister=$1
failures=0

expect_status() { # expect_status STATUS PATTERN ARGUMENTS...
    local want=$1 pattern=$2 err status
    shift 2
    err=$(PCSCLITE_CSOCK_NAME=/nonexistent/pcscd.comm timeout 5 "$lister" "$@" 2>&1 >/dev/null)
    status=$?
    if [ $status -ne "$want" ] || ! grep -q -- "$pattern" <<<"$err"; then
        echo "FAIL: pcsc-list $* gave status $status (wanted $want): $err"
        failures=$((failures + 1))
    fi
}

for args in "--wait -1" "--wait 17" "--wait 18446744073709551615" "--wait 1x" "--wait=" \
    "--wait" "--timeout -1" "--timeout nan" "--timeout inf" "--timeout 1e300" \
    "--timeout 3601" "--timeout 5s" "stray"; do
    expect_status 2 "^Usage: pcsc-list " $args
done
expect_status 2 "is pcscd running?"
expect_status 2 "is pcscd running?" --wait 16 --timeout 0.2

[ $failures -eq 0 ] && echo "pcsc-list refuses bad values and a missing service as expected"
exit $((failures > 0))
