#!/usr/bin/env bash
# Installs what is missing, builds the program and starts Flarecast.
set -euo pipefail
cd "$(dirname "$0")/.."
# Said before anything is installed or built: without a display Qt only advises a reinstall.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "Flarecast needs a desktop session: no display found (DISPLAY is not set)" >&2
    exit 1
fi
bash scripts/install-deps.sh
bash scripts/build.sh build --target flarecast
# Without a neighbourhood of its own, Flarecast runs among the demo's virtual phones.
export FLARECAST_NEIGHBOURHOOD="${FLARECAST_NEIGHBOURHOOD:-demo}"
exec build/app/ui/flarecast
