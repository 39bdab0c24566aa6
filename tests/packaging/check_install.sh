#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build into a fresh prefix and checks what a user gets: the
# engine libraries and header, the host SDK, the command with its manual
# pages and completion, the documentation, the CMake package and the
# pkg-config files, with no path of the build or source tree in any of
# them. Unless the build is instrumented (a sanitizer runtime cannot be
# loaded into an uninstrumented program), also builds against the installed
# tree, each with find_package and with pkg-config, shared and static:
#   the example C driver against the engine, compared with the example
#   built in the build tree;
#   a C++ program against the host SDK (static meaning the inkdot
#   libraries; the system's are shared), compared across the four builds.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR C_COMPILER CXX_COMPILER SANITIZED EXAMPLE
set -euo pipefail
build="$1"; source="$2"; cc="$3"; cxx="$4"; sanitized="$5"; example="$6"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "$*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/inkdot/inkdot.h include/inkdot/host/print_job.h bin/inkdot \
         lib/pkgconfig/inkdot.pc lib/pkgconfig/inkdot-host.pc \
         lib/cmake/inkdot/inkdotConfig.cmake lib/cmake/inkdot/inkdotTargets.cmake \
         lib/libinkdot.a lib/libinkdot_host.a share/inkdot/profiles/default/profile.json \
         share/man/man1/inkdot.1 share/man/man1/inkdot-print.1 \
         share/bash-completion/completions/inkdot \
         share/doc/inkdot/LICENSE share/doc/inkdot/README.md \
         share/doc/inkdot/profile-format.md share/doc/inkdot/performance.md; do
  [ -e "$prefix/$f" ] || fail "missing after install: $f"
done
ls "$prefix"/lib/libinkdot.so* >/dev/null

# Nothing installed may point back into the trees it was built from (the
# build tree sits inside the source tree in the presets). Sanitizer builds
# are never installed for use, and their instrumentation records the source
# files' absolute names, so they are not held to it.
if [ "$sanitized" != "ON" ]; then
  for tree in "$source" "$build"; do
    if found=$(grep -rlF "$tree" "$prefix"); then fail "installed files name $tree: $found"; fi
  done
fi

"$prefix/bin/inkdot" --help >/dev/null
"$prefix/bin/inkdot" --version | grep -q '^inkdot [0-9]' || fail "no version"
for page in "$prefix"/share/man/man1/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$page: $warnings"
done
bash -c "source '$prefix/share/bash-completion/completions/inkdot'; complete -p inkdot" >/dev/null

pc() { PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config "$@"; }
flags="$(pc --cflags --libs inkdot)"
case "$flags" in *"-I"*"/include"*"-linkdot"*) ;; *) fail "pkg-config gave: $flags";; esac
pc --exists inkdot-host || fail "no inkdot-host pkg-config file"

if [ "$sanitized" = "ON" ]; then exit 0; fi

# Whether a program loads libinkdot.so at run time.
dynamic() { readelf -d "$1" | grep -q 'NEEDED.*libinkdot\.so'; }

# pkg-config, shared and static
"$cc" "$source/examples/drive_engine.c" $(pc --cflags --libs inkdot) -Wl,-rpath,"$prefix/lib" \
  -o "$work/c_pc_shared"
"$cc" "$source/examples/drive_engine.c" $(pc --cflags inkdot) -static $(pc --static --libs inkdot) \
  -o "$work/c_pc_static"
"$cxx" "$source/tests/packaging/sdk_consumer.cpp" $(pc --cflags --libs inkdot-host) \
  -Wl,-rpath,"$prefix/lib" -o "$work/cxx_pc_shared"
# Debian ships no static Little CMS, so the SDK's program links the inkdot
# libraries statically and the system's shared.
sdk_static=$(pc --static --libs inkdot-host |
             sed -E 's/(^| )(-linkdot(_host)?)( |$)/ -Wl,-Bstatic \2 -Wl,-Bdynamic /g')
"$cxx" "$source/tests/packaging/sdk_consumer.cpp" $(pc --cflags inkdot-host) $sdk_static \
  -o "$work/cxx_pc_static"

# find_package, shared and static
mkdir -p "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(consumer C CXX)
find_package(inkdot REQUIRED)
add_executable(c_cmake_shared "$source/examples/drive_engine.c")
target_link_libraries(c_cmake_shared PRIVATE inkdot::inkdot)
add_executable(c_cmake_static "$source/examples/drive_engine.c")
target_link_libraries(c_cmake_static PRIVATE inkdot::inkdot_static)
add_executable(cxx_cmake_static "$source/tests/packaging/sdk_consumer.cpp")
target_link_libraries(cxx_cmake_static PRIVATE inkdot::host)
add_executable(cxx_cmake_shared "$source/tests/packaging/sdk_consumer.cpp")
target_link_libraries(cxx_cmake_shared PRIVATE inkdot::host inkdot::inkdot)
CMAKE
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
for name in c_cmake_shared c_cmake_static cxx_cmake_shared cxx_cmake_static; do
  cp "$work/consumer/build/$name" "$work/$name"
done

for name in c_pc_shared c_cmake_shared; do dynamic "$work/$name" || fail "$name: not shared"; done
for name in c_pc_static c_cmake_static cxx_pc_static cxx_cmake_static; do
  ! dynamic "$work/$name" || fail "$name loads libinkdot.so"
done

run() { set +e; "$@" >"$work/out.txt" 2>&1; echo "exit $?" >>"$work/out.txt"; set -e; cat "$work/out.txt"; }
expected="$(run "$example")"
for name in c_pc_shared c_pc_static c_cmake_shared c_cmake_static; do
  [ "$(run "$work/$name")" = "$expected" ] || fail "$name differs from the example"
done
profile="$prefix/share/inkdot/profiles/default"
sdk="$(run "$work/cxx_cmake_static" "$profile")"
case "$sdk" in *"non-zero bytes"*"exit 0") ;; *) fail "SDK program: $sdk";; esac
for name in cxx_pc_shared cxx_pc_static cxx_cmake_shared; do
  [ "$(run "$work/$name" "$profile")" = "$sdk" ] || fail "$name differs: $(run "$work/$name" "$profile")"
done
echo "installed tree: $sdk"
