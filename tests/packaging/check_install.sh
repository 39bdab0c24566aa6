#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what a user gets: the
# library, header, command, CMake package and pkg-config file. Unless the
# build is instrumented (a sanitizer runtime cannot be loaded into an
# uninstrumented program), also builds the example driver against the
# installed package with find_package and with pkg-config, and checks that
# both behave exactly as the example built in the build tree.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR C_COMPILER SANITIZED EXAMPLE
set -euo pipefail
build="$1"; source="$2"; cc="$3"; sanitized="$4"; example="$5"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/inkdot/inkdot.h bin/inkdot lib/pkgconfig/inkdot.pc \
         lib/cmake/inkdot/inkdotConfig.cmake lib/cmake/inkdot/inkdotTargets.cmake \
         lib/libinkdot_static.a; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f" >&2; exit 1; }
done
ls "$prefix"/lib/libinkdot.so* >/dev/null
"$prefix/bin/inkdot" --help >/dev/null

flags="$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs inkdot)"
case "$flags" in *"-I"*"/include"*"-linkdot"*) ;; *) echo "pkg-config gave: $flags" >&2; exit 1;; esac

if [ "$sanitized" = "ON" ]; then exit 0; fi

# pkg-config
"$cc" "$source/examples/drive_engine.c" $flags -Wl,-rpath,"$prefix/lib" -o "$work/by_pkg_config"

# find_package
mkdir -p "$work/consumer"
cat > "$work/consumer/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(consumer C)
find_package(inkdot REQUIRED)
add_executable(drive "$source/examples/drive_engine.c")
target_link_libraries(drive PRIVATE inkdot::inkdot_static)
CMAKE
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_C_COMPILER="$cc" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer/build" >/dev/null
run() { set +e; "$1" >"$2" 2>&1; echo "exit $?" >>"$2"; set -e; }
run "$example" "$work/expected.txt"
run "$work/consumer/build/drive" "$work/find_package.txt"
run "$work/by_pkg_config" "$work/pkg_config.txt"
diff "$work/expected.txt" "$work/find_package.txt"
diff "$work/expected.txt" "$work/pkg_config.txt"
