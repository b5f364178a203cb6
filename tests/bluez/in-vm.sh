#!/bin/sh
# Inside the VM: hci0 is Flarecast's adapter, hci1 the device in range. One round per boot (the
# argument): against BlueZ's own OBEX server, with hci1 vanishing mid-push, and against ours.
status=0
export FLARECAST_ADAPTER=hci0
btmgmt --index 1 name "Flarecast Test Phone" >/dev/null
# Without an agent on either side, the pairing that Secure Simple Pairing asks for on every RFCOMM
# link fails now and then ("Permission denied") and refuses every third link of a boot; without
# it, links of the lowest security level need no pairing, as the program asks for.
btmgmt --index 0 ssp off >/dev/null
btmgmt --index 1 ssp off >/dev/null
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
        bluez_vm_tests --gtest_filter='Discovery.*:Sdp.*:Pass.*:Sockets.*:SdpServer.*' || status=1
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
*)
    echo "unknown round: $1"
    status=2
    ;;
esac
exit $status
