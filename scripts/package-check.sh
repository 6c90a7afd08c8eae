#!/usr/bin/env bash
# Builds the Debian packages from an existing build folder (cpack, no second
# build), checks them with Debian's lintian (installed when missing), unpacks
# them into a temporary root and uses them as a user would:
#   - a C client built against the unpacked files through pkg-config and
#     through find_package(vktcom), run against the unpacked simulator;
#   - the unpacked vkt, which must load the unpacked libvktcom.so.1;
#   - the unpacked Python package, which finds the unpacked library;
#   - the unpacked man pages, read without a UTF-8 locale;
#   - and, from the source tree, the README's main job as a new user types
#     it, in a fresh build folder: it builds only what it runs.
# Nothing is installed on the machine: everything lives in a temporary folder
# that is removed on exit, also after a failure.
#
#   scripts/package-check.sh [BUILD_DIR]     (default: build, or $VKTCOM_BUILD_DIR)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-${VKTCOM_BUILD_DIR:-build}}")
[ -f "$build/CPackConfig.cmake" ] || { echo "package-check: $build is not a configured build folder" >&2; exit 1; }
for target in libvktcom.so tools/vkt/vkt tools/vktsim/vktsim; do
  [ -e "$build/$target" ] || { echo "package-check: $build/$target is not built" >&2; exit 1; }
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/vktcom-package.XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() { echo "package-check: FAILED: $*" >&2; exit 1; }
step() { echo "-- $*"; }

# ---- the packages ----
step "cpack"
(cd "$tmp" && cpack --config "$build/CPackConfig.cmake" -B "$tmp/packages" >"$tmp/cpack.log" 2>&1) \
  || { cat "$tmp/cpack.log" >&2; fail "cpack"; }
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
arch=$(dpkg --print-architecture)
declare -A deb=(
  [libvktcom1]="$tmp/packages/libvktcom1_${version}_${arch}.deb"
  [libvktcom-dev]="$tmp/packages/libvktcom-dev_${version}_${arch}.deb"
  [vkt]="$tmp/packages/vkt_${version}_${arch}.deb"
  [python3-vktcom]="$tmp/packages/python3-vktcom_${version}_all.deb"
)
root=$tmp/root
mkdir -p "$root"
for name in libvktcom1 libvktcom-dev vkt python3-vktcom; do
  file=${deb[$name]}
  [ -f "$file" ] || fail "no package $(basename "$file")"
  [ "$(dpkg-deb -f "$file" Package)" = "$name" ] || fail "$(basename "$file") is not named $name"
  grep -qE '^[^<>]+ <[^<>@ ]+@[^<>@ ]+\.[a-z]+>$' <<<"$(dpkg-deb -f "$file" Maintainer)" || fail "$name: maintainer without an address"
  echo "   $(basename "$file"): Depends: $(dpkg-deb -f "$file" Depends)"
  dpkg-deb -x "$file" "$root"
done
# (grep -q reads here-strings: as the end of a pipeline it could leave its
# writer to a broken pipe, which pipefail counts as a failure.)
depends() { dpkg-deb -f "${deb[$1]}" Depends; }
grep -q "libvktcom1 (= $version)" <<<"$(depends libvktcom-dev)" || fail "libvktcom-dev does not depend on libvktcom1"
grep -q "libvktcom1 (= $version)" <<<"$(depends vkt)" || fail "vkt does not depend on libvktcom1"
grep -q "libvktcom1 (= $version), python3" <<<"$(depends python3-vktcom)" || fail "python3-vktcom's dependencies"

# What goes where: the runtime package holds the versioned library only, the
# development package the unversioned link, both in the multiarch folder
# usr/lib/<triplet> and both "Multi-Arch: same".
holds() { grep -qx "./$2" <<<"$(dpkg-deb -c "${deb[$1]}" | awk '{print $6}')"; }
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
libdir=usr/lib/$triplet
holds libvktcom1 "$libdir/libvktcom.so.1" || fail "libvktcom1 lacks $libdir/libvktcom.so.1"
for name in libvktcom1 libvktcom-dev; do
  [ "$(dpkg-deb -f "${deb[$name]}" Multi-Arch)" = same ] || fail "$name is not Multi-Arch: same"
done
holds libvktcom1 usr/lib/udev/rules.d/70-vkt-logger.rules || fail "libvktcom1 lacks the udev rule"
holds libvktcom1 "$libdir/libvktcom.so" && fail "libvktcom1 holds the development link libvktcom.so"
holds libvktcom-dev "$libdir/libvktcom.so" || fail "libvktcom-dev lacks libvktcom.so"
holds libvktcom-dev usr/include/vktcom.h || fail "libvktcom-dev lacks vktcom.h"
holds vkt usr/bin/vktsim || fail "vkt lacks vktsim"
holds python3-vktcom usr/lib/python3/dist-packages/vktcom/__init__.py || fail "python3-vktcom lacks the package"
holds libvktcom-dev "$libdir/pkgconfig/vktcom.pc" || fail "libvktcom-dev lacks $libdir/pkgconfig/vktcom.pc"
holds libvktcom-dev "$libdir/cmake/vktcom/vktcomConfig.cmake" || fail "libvktcom-dev lacks the CMake package in $libdir"
# Each package has its changelog (its first entry's version is read below).
for name in libvktcom1 libvktcom-dev vkt python3-vktcom; do
  holds "$name" "usr/share/doc/$name/changelog.gz" || fail "$name lacks its changelog"
done
# Files that exist only in some checkouts go in when they exist.
for page in vkt vktsim; do
  if [ -f "docs/$page.1" ]; then holds vkt "usr/share/man/man1/$page.1.gz" || fail "vkt lacks the man page of $page"; fi
done
if [ -f include/vktcom_ext.h ]; then holds libvktcom-dev usr/include/vktcom_ext.h || fail "libvktcom-dev lacks vktcom_ext.h"; fi
shlibs=$(dpkg-deb --ctrl-tarfile "${deb[libvktcom1]}" | tar -xO ./shlibs)
grep -q "^libvktcom 1 libvktcom1" <<<"$shlibs" || fail "libvktcom1 has no shlibs entry for libvktcom.so.1"
control=$(dpkg-deb --ctrl-tarfile "${deb[libvktcom1]}" | tar -t)
triggers=$(dpkg-deb --ctrl-tarfile "${deb[libvktcom1]}" | tar -xO ./triggers)
grep -qx "activate-noawait ldconfig" <<<"$triggers" || fail "libvktcom1 does not trigger ldconfig"
# dpkg's trigger runs ldconfig; no maintainer script of the library does.
if grep -qE '^\./(preinst|postinst|prerm|postrm)$' <<<"$control"; then fail "libvktcom1 has maintainer scripts"; fi

step "lintian"
if ! command -v lintian >/dev/null; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq </dev/null || echo "apt-get update reported errors; going on"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends lintian </dev/null \
    >"$tmp/lintian-install.log" 2>&1 || { cat "$tmp/lintian-install.log" >&2; fail "installing lintian"; }
fi
# Errors and warnings fail.
status=0
report=$(lintian --fail-on error,warning "${deb[@]}" 2>&1) || status=$?
report=$(grep -v '^running with root privileges' <<<"$report" || true)
[ -z "$report" ] || sed 's/^/   /' <<<"$report"
[ "$status" -eq 0 ] || fail "lintian (status $status)"
echo "   lintian: no errors or warnings on libvktcom1 libvktcom-dev vkt python3-vktcom"

lib=$root/$libdir
soname=$(readelf -d "$lib/libvktcom.so.1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libvktcom.so.1" ] || fail "the library's soname is '$soname'"
for binary in "$lib/libvktcom.so.1" "$root/usr/bin/vkt" "$root/usr/bin/vktsim"; do
  if readelf -d "$binary" | grep -E "\((RPATH|RUNPATH)\)"; then fail "$(basename "$binary") carries a search path"; fi
done

# ---- the client, built both ways ----
step "client through pkg-config"
# Only the unpacked tree's files; the sysroot moves the paths into it.
export PKG_CONFIG_LIBDIR=$lib/pkgconfig PKG_CONFIG_SYSROOT_DIR=$root
unset PKG_CONFIG_PATH
pc_flags=$(pkg-config --cflags --libs vktcom) || fail "pkg-config vktcom"
echo "   pkg-config --cflags --libs vktcom: $pc_flags"
case "$pc_flags" in *"-I$root/usr/include"*) ;; *) fail "pkg-config names no include folder in the unpacked tree" ;; esac
case "$pc_flags" in *"-L$lib "*) ;; *) fail "pkg-config names no library folder in the unpacked tree" ;; esac
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Werror -o "$tmp/client-pkgconfig" tests/package/client.c $pc_flags \
  || fail "building the client through pkg-config"

step "client through find_package(vktcom)"
cmake -S tests/package -B "$tmp/client-cmake" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >"$tmp/client-cmake.log" 2>&1 \
  || { cat "$tmp/client-cmake.log" >&2; fail "configuring the client with find_package"; }
found=$(sed -n 's/^vktcom_DIR:PATH=//p' "$tmp/client-cmake/CMakeCache.txt")
[ "$found" = "$lib/cmake/vktcom" ] || fail "find_package found $found"
cmake --build "$tmp/client-cmake" >>"$tmp/client-cmake.log" 2>&1 \
  || { cat "$tmp/client-cmake.log" >&2; fail "building the client with find_package"; }

# ---- run against the unpacked simulator ----
records=300
step "vktsim --tree (unpacked), $records records"
"$root/usr/bin/vktsim" --tree "$tmp/sim" --count "$records" --unpaced >"$tmp/sim.out" 2>"$tmp/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  grep -q '^VKTCOM_SYSFS_ROOT=' "$tmp/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || { cat "$tmp/sim.err" >&2; fail "the simulator ended"; }
  sleep 0.1
done
grep -q '^VKTCOM_SYSFS_ROOT=' "$tmp/sim.out" || fail "the simulator laid out no tree"
export VKTCOM_DEV_ROOT VKTCOM_SYSFS_ROOT
VKTCOM_DEV_ROOT=$(sed -n 's/^VKTCOM_DEV_ROOT=//p' "$tmp/sim.out")
VKTCOM_SYSFS_ROOT=$(sed -n 's/^VKTCOM_SYSFS_ROOT=//p' "$tmp/sim.out")
export LD_LIBRARY_PATH=$lib
unset VKTCOM_LIBRARY

for client in client-pkgconfig client-cmake/vktcom-client; do
  step "run $client"
  needs=$(ldd "$tmp/$client")
  grep -q "libvktcom.so.1 => $lib/libvktcom.so.1" <<<"$needs" \
    || { echo "$needs" >&2; fail "$client does not load the unpacked libvktcom.so.1"; }
  "$tmp/$client" "$records" | sed 's/^/   /' || fail "$client"
done

# vkt loads the library with dlopen; the loader's log names the file it took.
step "unpacked vkt download"
LD_DEBUG=libs "$root/usr/bin/vkt" download >"$tmp/vkt.csv" 2>"$tmp/vkt.err" \
  || { grep -v '^ *[0-9]*:' "$tmp/vkt.err" >&2; fail "vkt download"; }
loaded=$(sed -n 's/.*calling init: \(.*libvktcom[^ ]*\)$/\1/p' "$tmp/vkt.err" | head -n 1)
echo "   vkt wrote $(wc -l <"$tmp/vkt.csv") lines, loaded $loaded"
if [ "$(realpath "$loaded")" != "$(realpath "$lib/libvktcom.so.1")" ]; then
  # A vkt that asks for the installed name must find the unpacked library;
  # one that does not yet know that name may still prefer its build folder's.
  if grep -qa 'libvktcom\.so\.1' "$root/usr/bin/vkt"; then
    fail "vkt loaded '$loaded', not the unpacked libvktcom.so.1"
  fi
  echo "   note: this vkt does not ask for libvktcom.so.1 by name; it loaded $loaded"
fi

step "unpacked Python package"
[ -x /usr/bin/python3 ] || fail "python3 is not installed"
PYTHONPATH=$root/usr/lib/python3/dist-packages VKTCOM_SIMULATOR=$root/usr/bin/vktsim \
  /usr/bin/python3 - "$root" "$(realpath "$lib/libvktcom.so.1")" <<'EOF' || fail "the Python package"
import sys
import vktcom

root, unpacked_library = sys.argv[1:3]
assert vktcom.__file__.startswith(root), f"imported {vktcom.__file__}"
with vktcom.simulated_logger(records=120), vktcom.Logger() as logger:
    info = logger.connect()
    records = logger.download()
assert info.count == 120 and len(records) == 120, (info.count, len(records))
with open("/proc/self/maps") as maps:
    library = sorted({line.split()[-1] for line in maps if "libvktcom" in line})
assert library == [unpacked_library], library
print(f"   vktcom {vktcom.__version__} from {vktcom.__file__}, library {library[0]}, {len(records)} records")
EOF

# A user without a UTF-8 locale reads the English meaning of the library's
# Japanese words (troff drops characters it cannot show, leaving ""); SEE
# ALSO names only pages and files the packages install.
step "man pages in the C locale, changelogs"
for page in vkt vktsim; do
  file=$root/usr/share/man/man1/$page.1.gz
  [ -f "$file" ] || continue
  text=$(LC_ALL=C MANWIDTH=80 man -l "$file" 2>"$tmp/man.err") || fail "man -l $page.1.gz"
  if grep -q '""' <<<"$text"; then fail "$page(1) shows an empty quotation in the C locale"; fi
  see_also=$(sed -n '/^SEE ALSO/,/^$/p' <<<"$text")
  for ref in $(grep -o '[a-z0-9-]\+(1)' <<<"$see_also"); do
    [ -f "$root/usr/share/man/man1/${ref%(1)}.1.gz" ] || fail "$page(1) names $ref, which the packages do not install"
  done
  for path in $(grep -o '/usr/[^ ,]*' <<<"$see_also"); do
    [ -e "$root$path" ] || fail "$page(1) names $path, which the packages do not install"
  done
  echo "   $page(1): SEE ALSO $(tr -s ' \n' ' ' <<<"${see_also#SEE ALSO}")"
done
if [ -f "$root/usr/share/man/man1/vkt.1.gz" ]; then
  text=$(LC_ALL=C MANWIDTH=80 man -l "$root/usr/share/man/man1/vkt.1.gz" 2>"$tmp/man.err" | tr -s ' \n' ' ')
  grep -q 'the Japanese word for "connected"' <<<"$text" \
    || fail "vkt(1) in the C locale does not give the English meaning of the watch words"
fi
for name in libvktcom1 libvktcom-dev vkt python3-vktcom; do
  first=$(gzip -dc "$root/usr/share/doc/$name/changelog.gz" | head -n 1)
  [[ "$first" == "vktcom ($version) "* ]] || fail "$name: the changelog begins '$first'"
done

# The README's main job, in a build folder of its own (inside the source
# tree, where the compiler cache serves it; removed on exit): it must print
# the records and build no test program or benchmark.
step "the README's main job"
main_job=$PWD/build-main-job-$$
rm_main_job() { rm -rf "$main_job"; }
trap 'rm_main_job; cleanup' EXIT
job=$(sed -n '/^Run the main job/,/^Run the tests/s/^    //p' README.md)
[ "$(wc -l <<<"$job")" = 1 ] && [[ "$job" == *" -B build "* ]] || fail "README: no one-line main job building into build/"
job=$(sed -e "s# -B build # -B $main_job #" -e "s#--build build #--build $main_job #" \
          -e "s# build/# $main_job/#g" <<<"$job")
(bash -c "$job" >"$tmp/main-job.out" 2>"$tmp/main-job.err") || { tail -20 "$tmp/main-job.err" >&2; fail "the README's main job"; }
grep -qx "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw" "$tmp/main-job.out" \
  || fail "the README's main job printed no records"
built_tests=$(find "$main_job/tests" "$main_job/bench" -type f -perm -u+x 2>/dev/null | head -n 3)
[ -z "$built_tests" ] || fail "the README's main job built programs it does not run: $built_tests"
echo "   $(tail -n 1 "$tmp/main-job.err"); no test program or benchmark built"

echo "PACKAGE CHECK PASSED: libvktcom1 libvktcom-dev vkt python3-vktcom $version"
