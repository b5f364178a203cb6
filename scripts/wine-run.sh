#!/usr/bin/env bash
# Runs a Windows program under wine, quietly, in the prefix WINEPREFIX names (a private one under
# /tmp by default, so that tests never touch the user's own).
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-/tmp/flarecast-wine-$(id -u)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
