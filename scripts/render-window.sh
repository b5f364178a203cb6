#!/usr/bin/env bash
# Renders the window after a pass among the demo's phones, on a virtual X server, to PNG files
# for a person to look at: the window, the window made larger, the About window, the history
# window and the rules form.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-build/screenshots}
bash scripts/install-deps.sh
bash scripts/build.sh build --target flarecast_render_window
xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/ui/flarecast_render_window "$folder"
