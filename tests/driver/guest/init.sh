#!/bin/busybox sh
# Init of the driver test guest: the board as a USB gadget on dummy_hcd, q47usb bound
# to it, the guest tests run against /dev/zwbd_c_series0, results on the serial console.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /tmp && mount -t tmpfs tmp /tmp

say() { echo "q47-guest: $*"; }
finish() {
    say "RESULT $1"
    # A gadget must leave the UDC before its FunctionFS server goes.
    [ -f "$GADGET/UDC" ] && echo "" > "$GADGET/UDC" 2>/dev/null
    poweroff -f
}
wait_for() {  # wait_for <path> <tenths of a second>
    n=0
    while [ ! -e "$1" ] && [ $n -lt "$2" ]; do sleep 0.1; n=$((n + 1)); done
    [ -e "$1" ]
}

VID=0x1209  # a test identifier for the simulated board
PID=0x0001
GADGET=/sys/kernel/config/usb_gadget/q47
export Q47_GADGET_SOCKET=/tmp/q47-gadget.sock
export Q47_UDC_FILE=$GADGET/UDC
export Q47_UDC_NAME=dummy_udc.0
export Q47_MODULE=/lib/q47/q47usb.ko
export Q47_NEW_ID="1209 0001"
export Q47_MODULE_IDS="vendor=$VID product=$PID"

for m in usb-common usbcore udc-core dummy_hcd configfs libcomposite usb_f_fs; do
    insmod /lib/q47/$m.ko || finish "module $m does not load"
done

insmod $Q47_MODULE dyndbg=+p vendor=$VID product=$PID || finish "q47usb does not load"

mount -t configfs none /sys/kernel/config
mkdir $GADGET && cd $GADGET || finish "no configfs gadget"
echo $VID > idVendor
echo $PID > idProduct
mkdir configs/c.1 functions/ffs.filler functions/ffs.board
# The filler is linked first so that it takes the endpoints ahead of 0x01/0x82.
ln -s functions/ffs.filler configs/c.1/
ln -s functions/ffs.board configs/c.1/
cd /
export Q47_FFS_BOARD=/ffs/board Q47_FFS_FILLER=/ffs/filler
mkdir -p $Q47_FFS_BOARD $Q47_FFS_FILLER
mount -t functionfs filler $Q47_FFS_FILLER
mount -t functionfs board $Q47_FFS_BOARD

# The device channel's contract on the node; this program serves the board itself.
# Without it the run fails: a contract that never ran has not passed.
channel=missing
if [ -x /bin/q47_channel_guest_test ]; then
    Q47_DEVICE=/dev/zwbd_c_series0 /bin/q47_channel_guest_test 2>&1 | tee /tmp/channel.log
    channel=$(grep -c -e '\[  FAILED  \]' -e '\[  SKIPPED \]' /tmp/channel.log)
    grep -q -e '\[  PASSED  \]' /tmp/channel.log || channel=none-passed
    # The node's own cases start from a freshly loaded module: unit 0 again.
    rmmod q47usb && insmod $Q47_MODULE dyndbg=+p vendor=$VID product=$PID || finish "q47usb does not reload"
fi

/bin/q47_board_gadget $Q47_FFS_BOARD $Q47_FFS_FILLER $Q47_GADGET_SOCKET /tmp/gadget.ready &
wait_for /tmp/gadget.ready 100 || finish "gadget program did not start"
echo $Q47_UDC_NAME > $GADGET/UDC || finish "gadget does not bind to dummy_udc.0"
wait_for /dev/zwbd_c_series0 100 || { dmesg | tail -30; finish "no /dev/zwbd_c_series0"; }
node=$(ls /sys/class/q47usb | head -1)
say "udev-match $(basename "$(readlink /sys/class/q47usb/$node/subsystem)") $node"

/bin/q47_driver_guest_test --gtest_filter=-WrongPipes.*
client=$?
# Last, as it takes the endpoint filler out of the gadget.
export Q47_FILLER_LINK=$GADGET/configs/c.1/ffs.filler
/bin/q47_driver_guest_test --gtest_filter=WrongPipes.*
pipes=$?
say "client=$client channel=$channel pipes=$pipes"
if [ $client = 0 ] && [ $pipes = 0 ] && [ $channel = 0 ]; then
    finish pass
fi
dmesg | grep -i -e q47 -e warn | tail -60
finish fail
