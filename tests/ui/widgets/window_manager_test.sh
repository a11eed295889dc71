#!/usr/bin/env bash
# Runs the window tests that need a window manager on an X display of their
# own (Xvfb) with openbox managing the windows, as a desktop would.
#   window_manager_test.sh WIDGET_TESTS
set -uo pipefail
for tool in xvfb-run openbox xprop; do
  command -v "$tool" >/dev/null || { echo "manca $tool (tools/install-packages)" >&2; exit 77; }
done
exec xvfb-run -a -s '-screen 0 1280x800x24' bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  # openbox manages windows once it has announced itself on the root window.
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  TARNWICK_TEST_PLATFORM=xcb "$0" --gtest_filter="UnderWindowManager.*"
  status=$?
  kill "$wm"
  exit "$status"' "$1"
