#!/usr/bin/env bash
# Runs a command on a private Xvfb server: a display number the server picks
# itself (-displayfd), so parallel test programs never share or race for one,
# and no desktop's window manager or focus policy interferes.
#   run_with_xvfb.sh COMMAND [ARGUMENTS]
set -uo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "FAIL: Xvfb is not installed (scripts/setup-debian.sh installs it)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.log" &
server=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [ ! -s "$work/display" ]; then
  cat "$work/xvfb.log" >&2
  echo "FAIL: Xvfb did not start" >&2
  kill "$server" 2>/dev/null
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
"$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
