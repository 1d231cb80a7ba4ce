#!/usr/bin/env bash
# Builds q47usb.ko afresh in a scratch folder and fails on any compiler or modpost warning.
# Usage: build_module.sh <kernel version> <scratch dir> <q47usb.c> <Kbuild> <Makefile>
# Exit 77 (skipped) when the kernel headers are not installed.
set -u
kver=$1 scratch=$2
shift 2
kdir=/usr/src/linux-headers-$kver
if [ -z "$kver" ] || [ ! -f "$kdir/Makefile" ]; then
    echo "SKIP: kernel headers for '$kver' are not installed (Debian package linux-headers-amd64)"
    exit 77
fi
rm -rf "$scratch" && mkdir -p "$scratch" && cp "$@" "$scratch/" || exit 1
log=$scratch/build.log
make -C "$kdir" M="$scratch" modules >"$log" 2>&1
status=$?
cat "$log"
if [ $status -ne 0 ] || [ ! -f "$scratch/q47usb.ko" ]; then
    echo "FAIL: q47usb.ko does not build"
    exit 1
fi
if grep -i -E 'warning|error' "$log" | grep -v -E '^Skipping BTF generation'; then
    echo "FAIL: the build printed the warnings above"
    exit 1
fi
echo "PASS: q47usb.ko builds for $kver with no warnings"
