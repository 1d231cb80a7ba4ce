#!/usr/bin/env bash
# The guest test with a prerequisite missing: outside CI it is skipped (exit 77) and
# says why; under CI=true, where the test command installs everything, it fails.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/empty-path"
failures=0

# expect <name> <wanted exit> <wanted text> -- <command...>
expect() {
    local name=$1 want=$2 text=$3
    shift 4
    local out rc
    out=$("$@" 2>&1)
    rc=$?
    if [ $rc -ne "$want" ] || ! grep -q -F -- "$text" <<<"$out"; then
        echo "FAIL: $name: exit $rc (wanted $want), output:"
        echo "$out" | sed 's/^/    /'
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}

guest=("$here/run_guest.sh" 6.1.0-0-none "$scratch/work" "$scratch/q47usb.ko" "$here/guest/init.sh"
       "$here/../../packaging/udev/60-q47usb.rules")

# No QEMU on the path.
expect "no QEMU, outside CI: skipped with the reason" 77 "SKIP: qemu-system-x86_64 is not installed" -- \
    env -u CI PATH="$scratch/empty-path" /bin/bash "${guest[@]}"
expect "no QEMU, under CI: failed" 1 "FAIL: qemu-system-x86_64 is not installed" -- \
    env CI=true PATH="$scratch/empty-path" /bin/bash "${guest[@]}"

# A fake QEMU, and no image of the kernel asked for.
printf '#!/bin/sh\nexit 0\n' >"$scratch/empty-path/qemu-system-x86_64"
chmod +x "$scratch/empty-path/qemu-system-x86_64"
expect "no kernel image, outside CI: skipped with the reason" 77 "SKIP: no kernel image /boot/vmlinuz-6.1.0-0-none" -- \
    env -u CI PATH="$scratch/empty-path:$PATH" /bin/bash "${guest[@]}"
expect "no kernel image, under CI: failed" 1 "FAIL: no kernel image /boot/vmlinuz-6.1.0-0-none" -- \
    env CI=true PATH="$scratch/empty-path:$PATH" /bin/bash "${guest[@]}"

[ $failures -eq 0 ] && echo "PASS: missing prerequisites skip outside CI and fail under CI"
exit $((failures > 0))
