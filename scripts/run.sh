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
# On a machine without a Bluetooth adapter, and unless told otherwise, Flarecast runs among the
# demo's virtual phones.
if [[ -z "${FLARECAST_NEIGHBOURHOOD:-}" ]] && ! compgen -G "/sys/class/bluetooth/hci*" >/dev/null; then
    export FLARECAST_NEIGHBOURHOOD=demo
fi
exec build/app/ui/flarecast
