#!/bin/sh
# Rebuilds the artwork generator natively, regenerates the committed pictures
# (res/art/*, res/artwork.rc), checks them and refreshes the PNG previews in
# docs/art/. Needs cmake, a C++20 compiler and ImageMagick's convert.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/make-art"
previews="$build/previews"

cmake -S "$root/tools/artgen" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null

rm -rf "$root/res/art" "$previews"
"$build/artgen" "$root/res" --previews "$previews"
"$build/artgen" --verify "$root/res" >"$build/verify.log" || { cat "$build/verify.log"; exit 1; }

# png INPUT OUTPUT [OPTIONS...]: a PNG without time stamps, so unchanged
# pictures give unchanged files.
png() {
  input=$1 output=$2
  shift 2
  convert "$input" "$@" -strip -define png:exclude-chunks=date,time "$output"
}
mkdir -p "$root/docs/art"
rm -f "$root/docs/art"/*.png
for icon in mainicon bandera0 bandera1 bandera2 bandera5; do
  for size in 32 16; do
    png "$previews/$icon-$size.ppm" "$root/docs/art/$icon-$size.png"
    png "$previews/$icon-$size.ppm" "$root/docs/art/$icon-${size}x8.png" -scale 800%
  done
done
cp "$previews"/*-rgba*.png "$root/docs/art/"     # the 32-bit images, as stored in the icons
png "$previews/aviso-frames.ppm" "$root/docs/art/aviso-frames.png"
png "$previews/info.ppm" "$root/docs/art/info.png"
echo "artwork regenerated: res/art, res/artwork.rc, docs/art"
