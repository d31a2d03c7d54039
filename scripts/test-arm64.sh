#!/usr/bin/env bash
# Cross-builds the image library and its tests for 64-bit ARM (aarch64) and
# runs them under qemu-aarch64, once on a CPU with NEON only and once on
# qemu's "max" CPU (NEON, SVE, SVE2), so that the exactness of the pixel
# kernels is checked on ARM and not only on x86-64.
#
# usage: scripts/test-arm64.sh [folder]      (default: build-arm64/)
#
# The arm64 Debian packages the build needs (Qt's development files, Highway,
# the C and C++ libraries, with what they depend on) are downloaded with a
# private apt state in <folder>/apt and unpacked into <folder>/sysroot: the
# system's own package state is left alone, and the host's amd64 Qt stays
# installed for the native build. Both are kept for the next run; the build
# itself goes to <folder>/build.
#
# Exits non-zero when a test fails or when the programs did not run as
# aarch64 code.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=${1:-$root/build-arm64}
mkdir -p "$work"
work=$(cd "$work" && pwd)
sysroot=$work/sysroot
build=$work/build
aptdir=$work/apt

say() { printf '\n== %s\n' "$*"; }
fail() { printf 'test-arm64.sh: %s\n' "$*" >&2; exit 1; }

# --- Host tools --------------------------------------------------------------
# The cross compiler, the emulator, the build tools and the host's Qt (moc
# and the other build tools, and their CMake packages).
host_packages=(
    cmake ninja-build pkg-config file
    g++-aarch64-linux-gnu qemu-user
    qt6-base-dev qt6-base-dev-tools
)
missing=()
for package in "${host_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    say "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# --- arm64 sysroot -------------------------------------------------------------
# What the cross build links against. apt resolves the packages' dependencies
# as on an arm64 machine with nothing installed, except that the programs and
# data the build never touches (interpreters, package tools, Qt's own arm64
# build tools, the Mesa drivers) count as installed already, which keeps them
# and what only they need out of the download.
wanted=(qt6-base-dev libhwy-dev libc6-dev libstdc++-12-dev)
not_needed=(
    dpkg tar debconf perl perl-base perl-modules-5.36 sysvinit-utils
    python3 python3-minimal python3.11 python3.11-minimal
    libpython3-stdlib libpython3.11-minimal libpython3.11-stdlib
    qt6-base-dev-tools qmake6-bin
    libgl1-mesa-dri libglx-mesa0 libegl-mesa0 libllvm15
    fontconfig fonts-dejavu-core shared-mime-info xkb-data libinput-bin x11-common
)
apt_options=(
    -o APT::Architecture=arm64 -o APT::Architectures::=arm64
    -o Dir::State="$aptdir/state"
    -o Dir::State::lists="$aptdir/lists"
    -o Dir::State::status="$aptdir/status"
    -o Dir::State::extended_states="$aptdir/state/extended_states"
    -o Dir::Cache="$aptdir/cache"
    -o Dir::Cache::archives="$aptdir/archives"
    -o Dir::Etc::preferences="$aptdir/preferences"
    -o Dir::Etc::preferencesparts="$aptdir/preferences.d"
    -o Debug::NoLocking=true
    -o APT::Sandbox::User=root
    -o APT::Install-Recommends=false
    -o Acquire::Languages=none
)
stamp=$sysroot/.lumivex-sysroot
request="${wanted[*]} / ${not_needed[*]}"
if [[ -f $stamp && $(head -n 1 "$stamp") == "$request" ]]; then
    say "arm64 sysroot: $sysroot (kept from an earlier run)"
else
    say "arm64 sysroot: resolving and downloading ${wanted[*]}"
    mkdir -p "$aptdir"/{state,lists/partial,cache,archives/partial,preferences.d}
    : >"$aptdir/status"
    # The versions listed in the status file win over the archive's.
    printf 'Package: *\nPin: release a=now\nPin-Priority: 1001\n' >"$aptdir/preferences"
    apt-get "${apt_options[@]}" update -qq
    # Counted as installed: the archive's own entries, with an installed
    # status and without their dependencies.
    apt-cache "${apt_options[@]}" show --no-all-versions "${not_needed[@]/%/:arm64}" 2>/dev/null \
        | awk '/^$/ { keep = 1 }
               /^[^ ]/ { keep = $1 !~ /^(Pre-)?Depends:$/ }
               keep { print }
               /^Package:/ { print "Status: install ok installed" }' >"$aptdir/status.new" || true
    mv "$aptdir/status.new" "$aptdir/status"
    rm -f "$aptdir"/archives/*.deb
    apt-get "${apt_options[@]}" install --download-only -y -qq "${wanted[@]}"
    debs=("$aptdir"/archives/*.deb)
    [[ -e ${debs[0]} ]] || fail "no arm64 packages were downloaded"
    say "arm64 sysroot: unpacking ${#debs[@]} packages"
    rm -rf "$sysroot" "$sysroot.new"
    mkdir -p "$sysroot.new"
    for deb in "${debs[@]}"; do
        dpkg-deb -x "$deb" "$sysroot.new"
    done
    { echo "$request"; printf '%s\n' "${debs[@]##*/}"; } >"$sysroot.new/.lumivex-sysroot"
    mv "$sysroot.new" "$sysroot"
    rm -f "$aptdir"/archives/*.deb
fi

# --- Cross build -----------------------------------------------------------------
# Only lumivex_image and the tests that need nothing else; the editor is not
# built.
say "Cross build for aarch64 in $build"
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
    -DLUMIVEX_SYSROOT="$sysroot" \
    -DLUMIVEX_IMAGE_LIBRARY_ONLY=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel "$(nproc)"

# --- On aarch64 ------------------------------------------------------------------
# Every test of that build is a QtTest program in tests/.
tests=()
while read -r name; do
    tests+=("$build/tests/$name")
done < <(ctest --test-dir "$build" -N | awk '/^ *Test +#[0-9]+:/ { print $3 }')
[[ ${#tests[@]} -gt 0 ]] || fail "the cross build registered no tests"
say "The test programs"
for program in "${tests[@]}"; do
    [[ -x $program ]] || fail "$program is missing"
    description=$(file -b "$program")
    echo "${program##*/}: $description"
    [[ $description == *"ARM aarch64"* ]] || fail "${program##*/} is not an aarch64 program"
done

# A few lines of C that report the machine and the vector units the program
# finds at run time (the kernel tests dispatch on the same information).
probe=$build/arm64-probe
cat >"$probe.c" <<'PROBE'
#include <stdio.h>
#include <sys/auxv.h>
#include <sys/utsname.h>
#ifndef HWCAP_ASIMD
#define HWCAP_ASIMD (1 << 1)
#endif
#ifndef HWCAP_SVE
#define HWCAP_SVE (1 << 22)
#endif
#ifndef HWCAP2_SVE2
#define HWCAP2_SVE2 (1 << 1)
#endif
int main(void)
{
    struct utsname name;
    if (uname(&name) != 0)
        return 1;
    const unsigned long hwcap = getauxval(AT_HWCAP), hwcap2 = getauxval(AT_HWCAP2);
    printf("machine %s; NEON %s, SVE %s, SVE2 %s\n", name.machine,
           (hwcap & HWCAP_ASIMD) ? "yes" : "no", (hwcap & HWCAP_SVE) ? "yes" : "no",
           (hwcap2 & HWCAP2_SVE2) ? "yes" : "no");
    return 0;
}
PROBE
aarch64-linux-gnu-gcc --sysroot="$sysroot" -O2 -o "$probe" "$probe.c"

qemu=$(command -v qemu-aarch64)
"$qemu" --version | head -n 1

# Each test program runs under qemu-aarch64 with the arm64 folder as its root
# for libraries and plugins, on the offscreen platform as under CTest. The
# whole output goes to a log; passes and skips are left out on the terminal.
run_test() { # <cpu> <program>
    local cpu=$1 program=$2 log status
    log=$build/${program##*/}-$cpu.log
    status=0
    QEMU_CPU=$cpu QT_QPA_PLATFORM=offscreen QT_QPA_OFFSCREEN_NO_GLX=1 \
        timeout 1800 "$qemu" -L "$sysroot" "$program" >"$log" 2>&1 || status=$?
    awk '/^(PASS|SKIP)   :/ { quiet = 1; next }
         quiet && /^   Loc:/ { next }
         { quiet = 0; print }' "$log"
    if [[ $status -ne 0 ]]; then
        echo "FAILED: ${program##*/} on -cpu $cpu (exit status $status); the whole output is in $log" >&2
        return 1
    fi
    # QtTest names the ABI of the Qt it runs on: the arm64 libraries.
    if ! grep -q '^Config: .*arm64-little_endian-lp64' "$log"; then
        echo "FAILED: ${program##*/} did not run on the arm64 Qt libraries" >&2
        return 1
    fi
}

# cortex-a72: Armv8.0-A with NEON and nothing wider, so NEON is the best the
# kernels can pick; max: everything qemu emulates, SVE and SVE2 included.
failures=0
for cpu in cortex-a72 max; do
    say "Tests on aarch64: qemu-aarch64 -cpu $cpu"
    machine=$(QEMU_CPU=$cpu "$qemu" -L "$sysroot" "$probe")
    echo "$machine"
    [[ $machine == "machine aarch64;"* ]] || fail "the programs did not run as aarch64 code"
    for program in "${tests[@]}"; do
        run_test "$cpu" "$program" || failures=$((failures + 1))
    done
done
if [[ $failures -ne 0 ]]; then
    fail "$failures aarch64 test run(s) failed"
fi
say "All aarch64 tests passed on -cpu cortex-a72 (NEON) and -cpu max (NEON, SVE, SVE2)"
