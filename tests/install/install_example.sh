#!/usr/bin/env bash
# Installs the music library from BUILD into a temporary prefix, then builds
# examples/render_raw.c against it twice: with pkg-config's flags (shared
# library) and as a C-only CMake project using the installed package (static
# library). Both programs must write exactly xmrender's one pass of
# data/typing.xm; the shared library must export only qm_ symbols and import
# no thread function; the static archive must define no writable data;
# nothing of the library's own build flags travels to its users. Then a library-only build (no SDL, libFLAC or libpng asked
# for) installed as a distribution would, into /usr with a multiarch library
# folder under DESTDIR: its pkg-config file must lead to that folder.
# Usage: install_example.sh BUILD SOURCE XMRENDER
set -euo pipefail
build=$1 source=$2 xmrender=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
song=$source/data/typing.xm

cmake --install "$build" --prefix "$work/prefix" --component music >/dev/null
pc=$(find "$work/prefix" -name quillmere-music.pc)
[ -n "$pc" ] || { echo "no quillmere-music.pc installed" >&2; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
for f in include/quillmere/music.h include/quillmere/music_version.h share/doc/quillmere-music/LICENSE; do
  [ -f "$work/prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
so=$(readlink -f "$libdir/libquillmere-music.so")
case "$so" in *.so.1.0.0) ;; *) echo "unexpected shared library name: $so" >&2; exit 1 ;; esac
soname=$(objdump -p "$so" | awk '/SONAME/ {print $2}')
[ "$soname" = "libquillmere-music.so.1" ] || { echo "soname is '$soname'" >&2; exit 1; }
others=$(nm -D --defined-only "$so" | awk '{print $3}' | grep -v '^qm_' || true)
[ -z "$others" ] || { echo "the shared library exports more than qm_ symbols:" >&2; echo "$others" | head >&2; exit 1; }
threads=$(nm -D --undefined-only "$so" | grep -E 'pthread_|thrd_' || true)
[ -z "$threads" ] || { echo "the shared library imports thread functions:" >&2; echo "$threads" >&2; exit 1; }
# No mutable state: the static archive defines no writable data (initialised,
# zeroed, small, common, weak or unique objects).
writable=$(nm --defined-only "$libdir/libquillmere-music.a" | awk 'NF == 3 && $2 ~ /^[BbCDdGgSsuVv]$/ {print $3}')
[ -z "$writable" ] || { echo "the static library defines writable data:" >&2; echo "$writable" | head >&2; exit 1; }

"$xmrender" "$song" -o "$work/expected.wav" 2>/dev/null
tail -c +45 "$work/expected.wav" > "$work/expected.raw"

# pkg-config and the shared library.
export PKG_CONFIG_PATH=$(dirname "$pc")
grep -q '^License: MIT' "$pc" || { echo "the pkg-config file names no MIT licence" >&2; exit 1; }
if pkg-config --cflags quillmere-music | grep -q -- '-f'; then
  echo "pkg-config hands the library's build flags to its users: $(pkg-config --cflags quillmere-music)" >&2; exit 1
fi
[ "$(pkg-config --modversion quillmere-music)" = "1.0.0" ] || { echo "pkg-config version is not 1.0.0" >&2; exit 1; }
cc -std=c99 -Wall -Wextra -Werror "$source/examples/render_raw.c" $(pkg-config --cflags --libs quillmere-music) \
  -o "$work/render_raw_shared"
LD_LIBRARY_PATH=$libdir "$work/render_raw_shared" "$song" > "$work/shared.raw"
cmp "$work/expected.raw" "$work/shared.raw"

# The CMake package and the static library, from a project in C alone.
mkdir -p "$work/project"
cat > "$work/project/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.16)
project(example C)
find_package(quillmere-music 1.0 REQUIRED)
add_executable(render_raw "$source/examples/render_raw.c")
target_link_libraries(render_raw PRIVATE quillmere::music_static)
CMAKE
cmake -S "$work/project" -B "$work/project/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/project/build" >/dev/null
grep -q -- '-ffp-contract' "$work/project/build/CMakeFiles/render_raw.dir/flags.make" &&
  { echo "the CMake package hands -ffp-contract to its users" >&2; exit 1; }
"$work/project/build/render_raw" "$song" > "$work/static.raw"
cmp "$work/expected.raw" "$work/static.raw"

# A library-only build installed as a distribution installs it: prefix /usr,
# a multiarch library folder, into a staging folder.
multiarch=lib/x86_64-linux-gnu
cmake -S "$source" -B "$work/libonly" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_SHOW=OFF -DQM_BUILD_TOOLS=OFF \
  -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_LIBDIR=$multiarch >/dev/null
cmake --build "$work/libonly" -j2 --target qm_music qm_music_shared >/dev/null
DESTDIR="$work/root" cmake --install "$work/libonly" --component music >/dev/null
export PKG_CONFIG_PATH="$work/root/usr/$multiarch/pkgconfig"
libs=$(pkg-config --libs-only-L quillmere-music | tr -d " ")
[ "$(realpath -m "${libs#-L}")" = "$(realpath "$work/root/usr/$multiarch")" ] ||
  { echo "the multiarch pkg-config file points at $libs" >&2; exit 1; }
cc -std=c99 "$source/examples/render_raw.c" $(pkg-config --cflags --libs quillmere-music) -o "$work/render_raw_multiarch"
LD_LIBRARY_PATH="$work/root/usr/$multiarch" "$work/render_raw_multiarch" "$song" > "$work/multiarch.raw"
cmp "$work/expected.raw" "$work/multiarch.raw"
echo "install_example: shared, static (C only) and multiarch builds write xmrender's bytes"
