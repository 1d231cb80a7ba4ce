#!/usr/bin/env bash
# Builds q47usb.ko afresh against every installed Debian kernel header tree
# (/usr/src/linux-headers-*-amd64: the default flavour, rt, and a backports kernel
# when one is installed) and fails on any compiler or modpost warning. A flavour
# built without USB support (Debian's cloud kernel) cannot host the driver and is
# passed over with a note.
# Usage: build_module.sh <scratch dir> <q47usb.c> <Kbuild> <Makefile>
# With no header tree installed: exit 77 (skipped), or a failure when CI=true, where
# the test command has installed them.
set -u
scratch=$1
shift 1

missing() {
    if [ "${CI:-}" = true ]; then echo "FAIL: $* (CI=true: the test command installs it)"; exit 1; fi
    echo "SKIP: $*"
    exit 77
}

trees=()
for dir in /usr/src/linux-headers-*-amd64; do
    [ -f "$dir/Makefile" ] || continue
    if ! grep -q -E '^CONFIG_USB=(y|m)' "$dir/.config" 2>/dev/null; then
        echo "NOTE: ${dir#/usr/src/linux-headers-} has no USB support; q47usb is not built for it"
        continue
    fi
    trees+=("$dir")
done
[ ${#trees[@]} -gt 0 ] || missing "no kernel headers with USB support are installed (Debian package linux-headers-amd64)"

failed=0
for kdir in "${trees[@]}"; do
    kver=${kdir#/usr/src/linux-headers-}
    work=$scratch/$kver
    rm -rf "$work" && mkdir -p "$work" && cp "$@" "$work/" || exit 1
    log=$work/build.log
    make -C "$kdir" M="$work" KCFLAGS=-Werror modules >"$log" 2>&1
    status=$?
    if [ $status -ne 0 ] || [ ! -f "$work/q47usb.ko" ]; then
        cat "$log"
        echo "FAIL: q47usb.ko does not build for $kver"
        failed=1
    elif grep -i -E 'warning|error' "$log" | grep -v -E '^Skipping BTF generation'; then
        echo "FAIL: the build for $kver printed the warnings above"
        failed=1
    else
        echo "PASS: q47usb.ko builds for $kver with no warnings"
    fi
done
exit $failed
