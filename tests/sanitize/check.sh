#!/bin/sh
# Runs sancheck KIND [ARG] under the environment of make test-sanitize and
# checks that the error stops it with a report naming WANT, so that such an
# error in any other test fails that test; KIND none must run clean.
#   check.sh SANCHECK KIND WANT [ARG]
set -u
bin=$1 kind=$2 want=$3
shift 3
err=$("$bin" "$kind" "$@" 2>&1 >/dev/null)
status=$?
if [ "$kind" = none ]; then
    [ $status = 0 ] && [ -z "$err" ] || { echo "$err"; echo "FAIL: a clean run gave status $status" >&2; exit 1; }
    exit 0
fi
[ $status != 0 ] || { echo "$err"; echo "FAIL: $kind: status 0, the error did not stop the program" >&2; exit 1; }
case "$err" in
    *"$want"*) ;;
    *) echo "$err"; echo "FAIL: $kind: no report of '$want'" >&2; exit 1 ;;
esac
echo "$kind: stopped with '$want' (status $status)"
