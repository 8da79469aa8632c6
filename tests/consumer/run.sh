#!/usr/bin/env bash
# Installs the build; the shared library exports only the public interface, with its SONAME; the consumer built
# with CMake and pkg-config, shared and static, runs.
# Usage: run.sh BUILD_DIR SAMPLE_PDF SONAME
set -euo pipefail
build=$1 sample=$2 soname=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$(dirname "$(find "$prefix" -name libvarnel.so | head -1)")
"$prefix/bin/varnel" --version

others=$(nm -D --defined-only -C "$lib/libvarnel.so" | cut -d' ' -f3- |
         grep -Ev '^(varnel_|varnel::|typeinfo for varnel::|typeinfo name for varnel::|vtable for varnel::)' || true)
if [ -n "$others" ]; then echo "exported beyond the public interface:"; echo "$others"; exit 1; fi
readelf -d "$lib/libvarnel.so" | grep -F "Library soname: [$soname]"

for kind in shared static; do
  echo "== CMake, $kind"
  static=OFF; [ $kind = static ] && static=ON
  cmake -S "$here" -B "$work/$kind" -DCMAKE_PREFIX_PATH="$prefix" -DVarnel_USE_STATIC_LIBS=$static >/dev/null
  cmake --build "$work/$kind" >/dev/null
  "$work/$kind/consumer_cpp" "$sample" "$work/$kind.pdf"
  "$work/$kind/consumer_c" "$sample" "$work/$kind-c.pdf"
done
ldd "$work/static/consumer_c" | grep -q libvarnel && { echo "the static build uses libvarnel.so"; exit 1; }

export PKG_CONFIG_PATH=$lib/pkgconfig
echo "== pkg-config, shared"
${CC:-cc} "$here/consumer.c" $(pkg-config --cflags --libs varnel) -o "$work/pc_shared"
LD_LIBRARY_PATH=$lib "$work/pc_shared" "$sample" "$work/pc-c.pdf"
echo "== pkg-config, static"
${CXX:-c++} -std=c++17 "$here/consumer.cpp" $(pkg-config --cflags varnel) \
  $(pkg-config --static --libs varnel | sed 's/-lvarnel\b/-l:libvarnel.a/') -o "$work/pc_static"
"$work/pc_static" "$sample" "$work/pc.pdf"
