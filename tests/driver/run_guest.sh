#!/usr/bin/env bash
# Boots the Debian kernel under QEMU (TCG) with a busybox initramfs and runs the driver's
# guest tests against the simulated board on dummy_hcd; the verdict comes from the
# serial console.
# Usage: run_guest.sh <kernel version> <work dir> <q47usb.ko> <init script> <udev rule>
#                     <guest program>...
# When QEMU, the kernel image, busybox or a kernel module cannot be had: exit 77
# (skipped) with the reason, or a failure when CI=true, where the test command has
# installed them.
set -u
kver=$1 work=$2 module=$3 init=$4 rule=$5
shift 5
programs=("$@")

skip() {
    if [ "${CI:-}" = true ]; then echo "FAIL: $* (CI=true: the test command installs it)"; exit 1; fi
    echo "SKIP: $*"
    exit 77
}
fail() { echo "FAIL: $*"; exit 1; }

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (Debian package qemu-system-x86)"
kernel=/boot/vmlinuz-$kver
[ -n "$kver" ] && [ -f "$kernel" ] || skip "no kernel image $kernel (Debian package linux-image-amd64)"
[ -r "$kernel" ] || skip "$kernel is not readable by this user"
moddir=/lib/modules/$kver/kernel
[ -d "$moddir" ] || skip "no modules in $moddir"
busybox=$(command -v busybox) || skip "busybox is not installed (Debian package busybox-static)"
file -L "$busybox" 2>/dev/null | grep -q 'statically linked' || [ -x /bin/busybox ] || skip "busybox is not static"
[ -f "$module" ] || fail "q47usb.ko was not built: $module"

root=$work/root
rm -rf "$root" && mkdir -p "$root"/{bin,lib/q47,dev,proc,sys,tmp} || fail "cannot make $root"
cp "$busybox" "$root/bin/busybox"
cp "$init" "$root/init" && chmod +x "$root/init"

# The kernel's own modules the gadget needs, decompressed where Debian packs them.
for m in drivers/usb/common/usb-common drivers/usb/core/usbcore drivers/usb/gadget/udc/udc-core \
         drivers/usb/gadget/udc/dummy_hcd fs/configfs/configfs drivers/usb/gadget/libcomposite \
         drivers/usb/gadget/function/usb_f_fs; do
    name=$(basename "$m")
    if [ -f "$moddir/$m.ko" ]; then cp "$moddir/$m.ko" "$root/lib/q47/"
    elif [ -f "$moddir/$m.ko.xz" ]; then xz -dc "$moddir/$m.ko.xz" >"$root/lib/q47/$name.ko"
    elif [ -f "$moddir/$m.ko.zst" ]; then zstd -qdc "$moddir/$m.ko.zst" >"$root/lib/q47/$name.ko"
    else skip "kernel module $name is not in $moddir"
    fi
done
cp "$module" "$root/lib/q47/q47usb.ko"

# The test programs, with their shared libraries when they are not static (sanitizer builds).
for p in "${programs[@]}"; do
    [ -x "$p" ] || fail "guest program missing: $p"
    cp "$p" "$root/bin/"
    for lib in $(ldd "$p" 2>/dev/null | grep -o '/[^ ]*'); do
        mkdir -p "$root$(dirname "$lib")" && cp -L "$lib" "$root$lib"
    done
done

(cd "$root" && find . | cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz" || fail "initramfs"

console=$work/console.log
start=$(date +%s)
timeout 170 "$qemu" -accel tcg -m 768 -smp 1 -nographic -no-reboot -net none \
    -kernel "$kernel" -initrd "$work/initrd.gz" \
    -append "console=ttyS0 panic=-1 quiet loglevel=4 log_buf_len=8M" </dev/null >"$console" 2>&1
status=$?
elapsed=$(($(date +%s) - start))
tr -d '\r' <"$console" | sed -n '/q47usb\|q47-guest\|gadget\|\[ \|RUN\|OK \]\|FAILED\|PASSED\|Failure\|Expected\|Which is\|Value of\|Actual\|missing\|^  /p'
echo "guest run: ${elapsed} s"
[ $status -eq 124 ] && fail "the guest did not finish within 170 s"

# The node as the kernel names it must match the udev rule that sets its group and mode.
match=$(tr -d '\r' <"$console" | sed -n 's/^q47-guest: udev-match //p')
subsystem=$(sed -n 's/.*SUBSYSTEM=="\([^"]*\)".*/\1/p' "$rule")
kernel_glob=$(sed -n 's/.*KERNEL=="\([^"]*\)".*/\1/p' "$rule")
node_subsystem=${match%% *}
node_name=${match##* }
[ -n "$match" ] || fail "the guest never showed the node"
[ "$node_subsystem" = "$subsystem" ] || fail "udev rule matches subsystem '$subsystem', the node's is '$node_subsystem'"
# shellcheck disable=SC2053
[[ $node_name == $kernel_glob ]] || fail "udev rule matches '$kernel_glob', the node is '$node_name'"
grep -q 'GROUP="scanner"' "$rule" && grep -q 'MODE="0660"' "$rule" || fail "udev rule does not give group scanner, mode 0660"

result=$(tr -d '\r' <"$console" | sed -n 's/^q47-guest: RESULT //p')
[ "$result" = pass ] || fail "guest: ${result:-no result (see $console)}"
echo "PASS: driver guest tests in ${elapsed} s"
