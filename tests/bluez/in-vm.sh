#!/bin/sh
# Inside the VM: hci0 is Flarecast's adapter, hci1 the device in range. One round per boot (the
# argument): against BlueZ's own OBEX server, with hci1 vanishing mid-push, against ours, and
# against a device that will not pair again. Round adapters runs on hci0 and hci1 both, with
# phones in range on the controllers after them (the second argument: how many, default two).
# Round measure is no test: it times passes with and without serving devices while the inquiry
# goes on (arguments: phones, pacing program or quick, passes each way, phones coming late).
status=0
export FLARECAST_ADAPTER=hci0
# The controllers that bluetoothd must have up; those that devices in range can reach and find;
# those that no inquiry may find (btvirt's inquiry answers for every controller that can be
# reached, so these cannot be).
controllers=2
reachable_ones="0 1"
hidden_ones=""

# Both controllers keep Secure Simple Pairing on, as adapters and phones ship it: every RFCOMM link
# pairs ("just works", no agent on either side). The device keeps the key of an earlier pairing
# that hci0 has dropped, and takes a new one only if its bluetoothd re-pairs, as phones do
# ($1: always, or never as bluetoothd does by default). bluetoothd reads that only when it starts.
# $2, when given, is a key hci1 keeps from a pairing that hci0 never had.
reachable() {
    btmgmt --index "$1" info | grep "current settings" | grep -qw connectable &&
        btmgmt --index "$1" info | grep "current settings" | grep -qw discoverable
}
settled() {
    [ "$(hciconfig | grep -c 'UP RUNNING')" -ge $controllers ] || return 1
    for h in $reachable_ones; do reachable $h || return 1; done
    for h in $hidden_ones; do
        btmgmt --index $h info | grep "current settings" | grep -qw connectable && return 1
    done
    return 0
}
restart_bluetoothd() {
    pid=$(pidof bluetoothd)
    kill "$pid"
    i=0
    while kill -0 "$pid" 2>/dev/null; do
        i=$((i + 1))
        [ $i -lt 300 ] || { echo "bluetoothd did not end"; exit 1; }
        sleep 0.1
    done
    sed -i "s/^\[General\]\$/[General]\nJustWorksRepairing = $1/" /etc/bluetooth/main.conf
    if [ -n "$2" ]; then
        mkdir -p "/var/lib/bluetooth/$BT1/$BT0"
        printf '[LinkKey]\nKey=%s\nType=4\nPINLength=0\n' "$2" >"/var/lib/bluetooth/$BT1/$BT0/info"
    fi
    bluetoothd -n -C >/tmp/bluetoothd.log 2>&1 &
    # It powers the controllers on, then makes them connectable and discoverable as we ask.
    i=0
    until settled; do
        i=$((i + 1))
        [ $i -lt 300 ] || { echo "bluetoothd did not bring the controllers up"; cat /tmp/bluetoothd.log; exit 1; }
        for h in $reachable_ones; do
            btmgmt --index $h connectable on >/dev/null 2>&1
            btmgmt --index $h discov on >/dev/null 2>&1
        done
        for h in $hidden_ones; do btmgmt --index $h connectable off >/dev/null 2>&1; done
        sleep 0.1
    done
}

# btvirt makes $controllers controllers anew, all in one piconet, in place of the VM's two. It
# passes a link's data on under the sender's handle, which is the receiver's too only while each
# controller has one link; the preloaded library puts the receiver's in its place.
more_controllers() {
    pid=$(pidof btvirt)
    kill "$pid"
    i=0
    while [ -e /sys/class/bluetooth/hci0 ] || kill -0 "$pid" 2>/dev/null; do
        i=$((i + 1))
        [ $i -lt 300 ] || { echo "btvirt did not end"; exit 1; }
        sleep 0.1
    done
    LD_PRELOAD=/usr/local/bin/libbluez_vm_acl_handles.so btvirt -l$controllers >/tmp/btvirt.log 2>&1 &
    i=0
    until [ -e /sys/class/bluetooth/hci$((controllers - 1)) ]; do
        i=$((i + 1))
        [ $i -lt 300 ] || { echo "btvirt made no $controllers controllers"; cat /tmp/btvirt.log; exit 1; }
        sleep 0.1
    done
}
address_of() {
    hciconfig "hci$1" | awk '/BD Address/{print $3}'
}

if [ "$1" = adapters ] || [ "$1" = measure ]; then
    phones=${2:-2}
    controllers=$((2 + phones))
    reachable_ones=$(seq 2 $((controllers - 1)) | tr '\n' ' ')
    hidden_ones="0 1"
    more_controllers
    restart_bluetoothd always
    BT0=$(address_of 0)
    BT1=$(address_of 1)
    PHONES=""
    for h in $reachable_ones; do
        btmgmt --index $h name "Flarecast Test Phone $h" >/dev/null
        btmgmt --index $h sc off >/dev/null
        PHONES="$PHONES $(address_of $h)"
    done
    export BT0 BT1 PHONES
    export FLARECAST_ADAPTER=hci0,hci1
    echo "### on hci0 ($BT0) and hci1 ($BT1), phones:$PHONES"
    case "$1" in
    adapters)
        bluez_vm_tests --gtest_filter='Adapters.*' || status=1
        dmesg | grep -q "kernel BUG" && { echo "--- the kernel said:"; dmesg | tail -n 60; status=1; }
        ;;
    measure)
        MEASURE_PACING=${3:-program} MEASURE_RUNS=${4:-4} MEASURE_LATE=${5:-0} bluez_vm_tests \
            --gtest_filter='Measure.*' --gtest_also_run_disabled_tests || status=1
        ;;
    esac
    exit $status
fi

if [ "$1" = pairing-refused ]; then
    restart_bluetoothd never 0123456789ABCDEF0123456789ABCDEF
else
    restart_bluetoothd always
fi
btmgmt --index 1 name "Flarecast Test Phone" >/dev/null
# After a pairing with Secure Connections on both sides, hci0 derives keys for LE over the new link
# at once, and hci1's kernel refuses that now and then ("Encryption key size": it has not read the
# link's key size yet, which only emulated controllers are quick enough to hit); hci0 then drops
# the link. A phone without Secure Connections for BR/EDR, as many are, is never asked.
btmgmt --index 1 sc off >/dev/null
# The name that hci1 answers with.
export BT1_NAME=$(hciconfig hci1 name | sed -n "s/.*Name: '\(.*\)'.*/\1/p")
mkdir -p /tmp/inbox /tmp/received

# BlueZ's own Object Push server, accepting everything into /tmp/inbox.
start_obexd() {
    dbus-daemon --config-file=/etc/btvm/session.conf --fork --nopidfile
    export DBUS_SESSION_BUS_ADDRESS=unix:path=/run/session_bus
    GCONV_PATH=/mnt/host/gconv obexd -n -r /tmp/inbox -a >/tmp/obexd.log 2>&1 &
    i=0
    until sdptool search --bdaddr "$BT1" OPUSH 2>/dev/null | grep -q "Channel"; do
        i=$((i + 1))
        [ $i -lt 100 ] || { echo "obexd did not register Object Push"; cat /tmp/obexd.log; exit 1; }
        sleep 0.2
    done
}

case "$1" in
bluez-server)
    start_obexd
    # Its service bits change with the services it offers.
    export BT1_CLASS=$(hciconfig hci1 class | sed -n 's/.*Class: 0x\([0-9a-fA-F]*\).*/\1/p')
    echo "### against BlueZ's OBEX server (hci1 \"$BT1_NAME\", class $BT1_CLASS)"
    OPP_CHANNEL=9 INBOX=/tmp/inbox \
        bluez_vm_tests --gtest_filter='Discovery.*:Sdp.*:Pass.*:Passes.*:Sockets.*:SdpServer.*' || status=1
    FLARECAST_ADAPTER=hci7 bluez_vm_tests --gtest_filter='NoSuchAdapter.*' || status=1
    echo "--- obexd said:"; cat /tmp/obexd.log
    ;;
vanish)
    start_obexd
    echo "### hci1 vanishes mid-push"
    TAKE_HCI1_DOWN="btmgmt --index 1 power off" INBOX=/tmp/inbox \
        bluez_vm_tests --gtest_filter='Vanish.*' || status=1
    ;;
flarecast-server)
    echo "### against Flarecast's own OBEX server on hci1"
    : >/tmp/receiver.out
    FLARECAST_ADAPTER=hci1 bluez_vm_receiver /tmp/received >/tmp/receiver.out 2>&1 &
    receiver=$!
    i=0
    until grep -q "Listening at" /tmp/receiver.out; do
        i=$((i + 1))
        [ $i -lt 100 ] && kill -0 $receiver 2>/dev/null || { echo "receiver did not start"; cat /tmp/receiver.out; exit 1; }
        sleep 0.2
    done
    channel=$(sed -n 's/^Listening at btspp:\/\/[0-9A-Fa-f]*:\([0-9]*\);.*/\1/p' /tmp/receiver.out)
    OPP_CHANNEL=$channel INBOX=/tmp/received bluez_vm_tests --gtest_filter='Sdp.*:Pass.*' || status=1
    # The receiver ends once the push is in; it is not left to wait for one that never comes.
    i=0
    while kill -0 $receiver 2>/dev/null && [ $i -lt 100 ]; do i=$((i + 1)); sleep 0.2; done
    kill $receiver 2>/dev/null && { echo "receiver still waiting"; status=1; }
    wait $receiver || status=1
    echo "--- receiver said:"; cat /tmp/receiver.out
    ;;
pairing-refused)
    start_obexd
    echo "### hci1 keeps a key that hci0 does not have, and will not pair again"
    # As an operator runs the program: without privileges.
    OPP_CHANNEL=9 INBOX=/tmp/inbox su -m -s /bin/sh messagebus \
        -c "bluez_vm_tests --gtest_filter='PairingRefused.*'" || status=1
    ;;
*)
    echo "unknown round: $1"
    status=2
    ;;
esac
exit $status
