#!/bin/sh
# Runs a Windows program under Wine for ctest: wine-run.sh WINE PROGRAM [ARGS].
# The program's output goes through a file, not ctest's pipes: Wine's own
# background processes (services, the shell holding the notification area),
# started by whichever program comes first, would inherit a pipe and keep it
# open long after the program has ended.
wine="$1"; shift
out="$(mktemp)"
"$wine" "$@" >"$out" 2>&1 </dev/null
status=$?
# A program that failed without a word never started (Wine now and then fails
# to load a process under load): try once more.
if [ $status -ne 0 ] && [ ! -s "$out" ]; then
  sleep 1
  "$wine" "$@" >"$out" 2>&1 </dev/null
  status=$?
fi
cat "$out"
rm -f "$out"
exit $status
