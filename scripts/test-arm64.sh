#!/usr/bin/env bash
# Cross-builds the image library and its tests for 64-bit ARM (aarch64) and
# runs them under qemu-aarch64 on a NEON CPU (cortex-a72, Armv8.0-A, nothing
# wider than NEON), so that the pixel kernels are checked to be exact on ARM
# too: the kernel tests go through every target the CPU runs, there NEON and
# the portable fallback.
#
# usage: scripts/test-arm64.sh [--sve] [folder]     (folder: build-arm64/)
#   --sve  also run the kernel and reduction tests on qemu's "max" CPU for
#          the targets only it runs (SVE, SVE2); several minutes more under
#          emulation
#
# The arm64 Debian packages the build needs (Qt's development files, Highway,
# the C and C++ libraries, with what they depend on) are downloaded with a
# private apt state in <folder>/apt and unpacked into <folder>/sysroot: the
# system's own package state is left alone, and the host's amd64 Qt stays
# installed for the native build. The folder is kept for the next run; the
# build itself goes to <folder>/build.
#
# Exits non-zero when a test fails, or when the programs did not run as
# aarch64 code on the arm64 libraries.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sve=0
work=$root/build-arm64
for argument in "$@"; do
    case $argument in
    --sve) sve=1 ;;
    -*) echo "test-arm64.sh: unknown option $argument" >&2; exit 2 ;;
    *) work=$argument ;;
    esac
done
mkdir -p "$work"
work=$(cd "$work" && pwd)
sysroot=$work/sysroot
build=$work/build
aptdir=$work/apt

say() { printf '\n== [%ss] %s\n' "$SECONDS" "$*"; }
fail() { printf 'test-arm64.sh: %s\n' "$*" >&2; exit 1; }

# --- Host tools --------------------------------------------------------------
# The cross compiler, the emulator, the build tools and the host's Qt (moc
# and the other build tools, and their CMake packages).
say "Host tools"
"$root/scripts/setup.sh" --arm64

# --- arm64 sysroot -------------------------------------------------------------
# What the cross build links against. apt resolves the packages' dependencies
# as on an arm64 machine with nothing installed, except that the programs and
# data the build never touches (interpreters, package tools, Qt's own arm64
# build tools, the Mesa drivers) count as installed already, which keeps them
# and what only they need out of the download.
wanted=(qt6-base-dev libhwy-dev zlib1g-dev libexiv2-dev libc6-dev libstdc++-12-dev)
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
kernels=$build/tests/lumivex_test_kernels
reduction=$build/tests/lumivex_test_reduction
say "The test programs"
for program in "${tests[@]}"; do
    [[ -x $program ]] || fail "$program is missing"
    description=$(file -b "$program")
    echo "${program##*/}: $description"
    [[ $description == *"ARM aarch64"* ]] || fail "${program##*/} is not an aarch64 program"
done

# A few lines of C that report the machine and the vector units a program
# finds at run time (the kernels dispatch on the same information).
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
# Emulation is many times slower than the machines QtTest's per-function
# watchdog (5 minutes) is meant for.
export QTEST_FUNCTION_TIMEOUT=1200000

check_machine() { # <cpu>
    local machine
    machine=$(QEMU_CPU=$1 "$qemu" -L "$sysroot" "$probe")
    echo "qemu-aarch64 -cpu $1: $machine"
    [[ $machine == "machine aarch64;"* ]] || fail "the programs did not run as aarch64 code"
}

# Runs a test program under qemu-aarch64 with the arm64 folder as its root
# for libraries, on the offscreen platform as under CTest. Qt's plugin folder
# is named outright: qemu does not look into the arm64 folder for the statx
# calls with which Qt checks that the folder exists. The whole output goes to
# <program>-<cpu>.log; passes and skips are left out on the terminal.
run_test() { # <cpu> <program> [arguments...]
    local cpu=$1 program=$2 log status=0
    shift 2
    log=$build/${program##*/}-$cpu.log
    QEMU_CPU=$cpu QT_QPA_PLATFORM=offscreen QT_QPA_OFFSCREEN_NO_GLX=1 \
        QT_PLUGIN_PATH="$sysroot/usr/lib/aarch64-linux-gnu/qt6/plugins" \
        timeout 1800 "$qemu" -L "$sysroot" "$program" "$@" >"$log" 2>&1 || status=$?
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

# The kernel targets a kernel test log names ("kernel targets tested: NEON
# SCALAR"), if it names them.
logged_targets() { # <log>
    sed -n 's/.*kernel targets tested: *//p' "$1" | head -n 1
}

failures=0
say "Tests on aarch64, NEON CPU"
check_machine cortex-a72
for program in "${tests[@]}"; do
    run_test cortex-a72 "$program" || failures=$((failures + 1))
done
if [[ $failures -eq 0 && -x $kernels ]]; then
    targets=$(logged_targets "$build/lumivex_test_kernels-cortex-a72.log")
    if [[ -n $targets ]]; then
        # Exactness on ARM is shown only if the NEON kernels and the portable
        # ones did run.
        [[ " $targets " == *" NEON "* ]] || fail "the NEON kernels were not tested (targets: $targets)"
        [[ " $targets " =~ \ (SCALAR|EMU128)\  ]] || fail "the portable kernels were not tested (targets: $targets)"
        echo "Kernel targets tested on aarch64 (cortex-a72): $targets"
    else
        echo "(lumivex_test_kernels does not name the kernel targets it tested)"
    fi
fi

if [[ $sve -eq 1 && $failures -eq 0 && -x $kernels ]]; then
    say "Kernel tests on aarch64, qemu's max CPU (SVE, SVE2)"
    check_machine max
    # Only the targets the NEON CPU did not run.
    run_test max "$kernels" workedExamples >/dev/null || failures=$((failures + 1))
    extra=()
    for target in $(logged_targets "$build/lumivex_test_kernels-max.log"); do
        [[ " $(logged_targets "$build/lumivex_test_kernels-cortex-a72.log") " == *" $target "* ]] \
            || extra+=("$target")
    done
    if [[ ${#extra[@]} -eq 0 ]]; then
        echo "No kernel target beyond those of the NEON CPU."
    else
        targets=${extra[*]}
        LUMIVEX_KERNEL_TARGETS=${targets// /,} run_test max "$kernels" \
            || failures=$((failures + 1))
        # The reduction's sums, too: they run on the best target there.
        LUMIVEX_KERNEL_TARGETS=${targets// /,} run_test max "$reduction" \
            || failures=$((failures + 1))
    fi
fi

if [[ $failures -ne 0 ]]; then
    fail "$failures aarch64 test run(s) failed"
fi
say "All aarch64 tests passed"
