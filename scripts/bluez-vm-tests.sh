#!/usr/bin/env bash
# Runs the tests that need a real kernel Bluetooth stack inside a throw-away VM: Debian's kernel,
# two virtual controllers in one piconet (more for the round on several adapters), dbus, bluetoothd
# and BlueZ's own OBEX server. Needs root (the VM script installs qemu and fetches the kernel
# package once). Arguments: the build folder, then the rounds to run, each with its own arguments
# in one word (default: every round of tests; see tests/bluez/in-vm.sh), e.g.
#   bash scripts/bluez-vm-tests.sh build "measure 4 program 4 2"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
# The workplace's copy when there is one; the project keeps its own for machines without it.
vm=$root/../shared/bluez-vm/run-bluez-vm.sh
[[ -f $vm ]] || vm=$root/tests/bluez/vm/run-bluez-vm.sh
share=$(mktemp -d)
trap 'rm -rf "$share"' EXIT
cp "$root/tests/bluez/in-vm.sh" "$share/"
# The VM has no character set converters, and BlueZ's OBEX server needs UTF-16 for object names.
gconv=/usr/lib/x86_64-linux-gnu/gconv
mkdir -p "$share/gconv"
cp "$gconv/gconv-modules" "$gconv/UTF-16.so" "$gconv/UTF-32.so" "$gconv/UTF-7.so" \
    "$gconv/UNICODE.so" "$share/gconv/"
export BTVM_WORK=${BTVM_WORK:-/var/tmp/flarecast-btvm}
export BTVM_SHARE=$share
export BTVM_EXTRA_BINS="$build/tests/bluez/bluez_vm_tests $build/tests/bluez/bluez_vm_receiver
    $build/tests/bluez/libbluez_vm_acl_handles.so"
export BTVM_TIMEOUT=${BTVM_TIMEOUT:-600}
export BTVM_MEM=${BTVM_MEM:-1024}
# One boot per round: a fresh stack each time, so that no round inherits another's links.
shift || true
rounds=("$@")
((${#rounds[@]} > 0)) || rounds=(bluez-server vanish flarecast-server pairing-refused adapters)
status=0
for round in "${rounds[@]}"; do
    bash "$vm" "sh /mnt/host/in-vm.sh $round" || status=1
done
exit $status
