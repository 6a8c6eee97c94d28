#!/usr/bin/env bash
# Runs window_atspi_test.py on its own virtual display and session bus.
# Usage: run_atspi_test.sh VXCONFIG_DEMO
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# The accessibility bus's launcher visits the display and leaves; without
# -noreset the server would reset then, refusing the window for a moment.
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
  dbus-run-session -- /usr/bin/python3 "$here/window_atspi_test.py" "$1"
