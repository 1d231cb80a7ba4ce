#!/usr/bin/env bash
# The Debian packages: built with CPack from a plain Release build (prefix /usr), checked
# with lintian, unpacked into a scratch root where every file must lie where Debian
# expects it, compared with what `cmake --install` puts down, and the DKMS package's
# module built by dkms for an installed kernel's headers.
#
# usage: packages_test.sh SOURCE_DIR WORK_DIR [C_COMPILER CXX_COMPILER]
set -euo pipefail
src=$1 work=$2 cc=${3:-cc} cxx=${4:-c++}
build=${Q47_PACKAGE_BUILD:-$work/build} out=$work/debs root=$work/root byhand=$work/byhand
rm -rf "$out" "$root" "$byhand" "$work/dkms"
mkdir -p "$out" "$root" "$byhand" "$work/dkms"
fail() { echo "FAIL: $*" >&2; exit 1; }

for tool in cpack lintian dpkg-deb dkms; do
  command -v "$tool" > /dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

echo "== Release build for the packages"
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" "${launcher[@]}" \
  -DBUILD_TESTING=OFF -DQ47_BENCH=OFF -DQ47_FUZZ=OFF -DQ47_SANITIZE=OFF > "$work/configure.log"
# Only what the packages hold is built (the programs of other branches once they exist).
available=$(cmake --build "$build" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
targets=()
for t in q47scan q47sim Q47tw q47twaindsm sane-q47 q47_package_files slatewise q47uty q47ctl q47marks; do
  grep -qx "$t" <<< "$available" && targets+=("$t")
done
cmake --build "$build" --target "${targets[@]}" -j"${Q47_PACKAGE_JOBS:-2}" > "$work/build.log"

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$out" > "$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack"; }
for pkg in q47-twain q47-capture q47-utility libsane-q47 q47usb-dkms; do
  ls "$out"/${pkg}_*.deb > /dev/null 2>&1 || fail "no package $pkg"
done

echo "== lintian (no errors)"
lintian --fail-on error --suppress-tags-from-file /dev/null "$out"/*.deb > "$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log"; fail "lintian reports errors"; }
grep -E "^E:" "$work/lintian.log" && fail "lintian errors"
cat "$work/lintian.log"

echo "== unpacked into a scratch root"
for deb in "$out"/*.deb; do dpkg-deb -x "$deb" "$root"; done
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
expect() { [ -e "$root$1" ] || fail "missing $1"; }
for f in /usr/bin/q47scan /usr/bin/q47sim /usr/lib/twain/q47/Q47tw.ds \
         /usr/share/q47/Loc/ENG/Q47Tw.ini /usr/share/q47/Loc/JPN/Q47Tw.ini \
         /usr/share/man/man1/q47scan.1.gz /usr/share/man/man1/q47sim.1.gz \
         /usr/lib/$multiarch/sane/libsane-q47.so.1 /etc/sane.d/dll.d/q47 /etc/sane.d/q47.conf \
         /usr/share/man/man5/sane-q47.5.gz /lib/udev/rules.d/60-q47usb.rules \
         /usr/src/q47usb-1.0.0/dkms.conf /usr/src/q47usb-1.0.0/q47usb.c \
         /usr/src/q47usb-1.0.0/Kbuild /usr/src/q47usb-1.0.0/Makefile \
         /usr/share/applications/slatewise.desktop /usr/share/applications/q47uty.desktop \
         /usr/share/icons/hicolor/scalable/apps/slatewise.svg \
         /usr/share/icons/hicolor/scalable/apps/q47uty.svg \
         /usr/share/q47/help/slatewise/index.htm /usr/share/q47/help/q47uty/index.htm; do
  expect "$f"
done
ls "$root/usr/lib/$multiarch"/libq47twaindsm.so* > /dev/null 2>&1 || fail "no source manager library"
for pkg in q47-twain q47-capture q47-utility libsane-q47 q47usb-dkms; do
  expect "/usr/share/doc/$pkg/copyright"
done
[ "$(cat "$root/etc/sane.d/dll.d/q47")" = q47 ] || fail "dll.d/q47 does not name the backend"
grep -q 'TAG+="uaccess"' "$root/lib/udev/rules.d/60-q47usb.rules" || fail "udev rule without uaccess"
grep -q 'GROUP="scanner"' "$root/lib/udev/rules.d/60-q47usb.rules" || fail "udev rule without scanner group"
# shlibdeps: the binary packages depend on the Debian libraries they link.
dpkg-deb -f "$out"/libsane-q47_*.deb Depends | grep -q libc6 || fail "libsane-q47 has no shlibs dependencies"
dpkg-deb -f "$out"/q47-twain_*.deb Depends | grep -q libqt6widgets6 || fail "q47-twain does not depend on Qt"
dpkg-deb -f "$out"/q47usb-dkms_*.deb Depends | grep -q dkms || fail "q47usb-dkms does not depend on dkms"
dpkg-deb -f "$out"/q47usb-dkms_*.deb Architecture | grep -qx all || fail "q47usb-dkms is not arch all"

echo "== cmake --install gives the same layout"
DESTDIR=$byhand cmake --install "$build" > /dev/null
(cd "$root" && find . -type f -o -type l | sort) > "$work/packages.list"
(cd "$byhand" && find . -type f -o -type l | sort) > "$work/install.list"
diff "$work/packages.list" "$work/install.list" || fail "cmake --install differs from the packages"

echo "== dkms build of q47usb-dkms"
kver=""
for dir in /lib/modules/*/build; do
  [ -f "$dir/Makefile" ] || continue
  kver=$(basename "$(dirname "$dir")")
  case $kver in *-amd64) break ;; esac
done
[ -n "$kver" ] || { echo "SKIP: no kernel headers for dkms"; exit 77; }
dkms_opts=(--dkmstree "$work/dkms" --sourcetree "$root/usr/src" -m q47usb -v 1.0.0)
dkms add "${dkms_opts[@]}" > "$work/dkms.log" 2>&1 || { cat "$work/dkms.log"; fail "dkms add"; }
dkms build "${dkms_opts[@]}" -k "$kver" >> "$work/dkms.log" 2>&1 ||
  { cat "$work/dkms.log"; cat "$work"/dkms/q47usb/1.0.0/build/make.log 2>/dev/null; fail "dkms build"; }
find "$work/dkms/q47usb/1.0.0/$kver" -name 'q47usb.ko*' | grep -q . || fail "dkms built no q47usb.ko for $kver"
echo "all passed ($kver)"
