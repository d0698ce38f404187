#!/usr/bin/env bash
# Writes the decode tests' movies: 8 seconds each, grey picture whose brightness steps up
# once a second (Y = 16 + 28 x whole seconds), so a frame's pixels tell its moment.
# Usage: make-test-movies.sh OUTPUT_DIR
set -euo pipefail
out="$1"
mkdir -p "$out"
[ -f "$out/.complete-6" ] && exit 0
picture="nullsrc=s=160x120:r=25:d=8,geq=lum='16+28*floor(T)':cb=128:cr=128,format=yuv420p"
sound="sine=frequency=440:sample_rate=44100:duration=8"
make() { ffmpeg -loglevel error -y -f lavfi -i "$picture" "$@"; }
make -f lavfi -i "$sound" -c:v mjpeg -q:v 3 -c:a pcm_s16le -shortest "$out/steps.avi"
make -c:v libx264 -g 25 -pix_fmt yuv420p "$out/steps.mp4"
make -f lavfi -i "$sound" -c:v mpeg2video -q:v 2 -c:a mp2 -shortest "$out/steps.mpg"
make -f lavfi -i "$sound" -c:v libx264 -g 25 -pix_fmt yuv420p -c:a aac -shortest "$out/steps.mkv"
make -c:v libvpx -b:v 500k -g 25 "$out/steps.webm"
printf 'this is no movie\n' > "$out/broken.avi"

# Damaged movies: the first half of a fast-start .mp4 and of a .mkv. The .mp4's picture has
# grain, so that its first half holds frames and not only the index. tiny.mp4 is the other
# kind: the first half of a short fast-start clip is little more than its index, and this
# Wine's MP4 parser never returns from RenderFile on it.
half() { head -c $(( $(stat -c %s "$1") / 2 )) "$1" > "$2"; }
grainy="nullsrc=s=160x120:r=25:d=8,geq=lum='16+28*floor(T)+8*random(1)':cb=128:cr=128,format=yuv420p"
ffmpeg -loglevel error -y -f lavfi -i "$grainy" -c:v libx264 -g 25 -pix_fmt yuv420p -movflags +faststart "$out/faststart.mp4"
half "$out/faststart.mp4" "$out/half.mp4"
half "$out/steps.mkv" "$out/half.mkv"
ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=10 -t 2 -c:v libx264 -movflags +faststart "$out/faststart.mp4"
half "$out/faststart.mp4" "$out/tiny.mp4"
rm "$out/faststart.mp4"

# Odd frame sizes (rows padded in the decoder's output) with a still colour pattern, and
# the frame ffmpeg itself takes at 2 s to compare with.
for size in 853x480 321x241; do
  ffmpeg -loglevel error -y -f lavfi -i "smptehdbars=s=$size:r=25:d=4" -c:v libx264 -g 25 -pix_fmt yuv444p "$out/bars$size.mp4"
  ffmpeg -loglevel error -y -ss 2 -i "$out/bars$size.mp4" -frames:v 1 "$out/bars$size.png"
done
# One movie of five 3 s scenes in three encodings (H.264 .mp4; MPEG-4 Part 2 .avi at a
# smaller size of the same aspect; VP9 .webm with its first 2 s cut), and another movie of
# the same length and kind of pictures.
scenes() {  # five lavfi sources, 3 s each, one after another
  local inputs=() chain="" i=0
  for source in "$@"; do
    inputs+=(-f lavfi -i "$source")
    chain+="[$i:v]trim=0:3,setpts=PTS-STARTPTS,scale=320:180,format=yuv420p[s$i];"
    i=$((i + 1))
  done
  printf '%s\n' "${inputs[@]}" > "$out/.inputs"
  echo "${chain}[s0][s1][s2][s3][s4]concat=n=5:v=1[v]"
}
# Pictures that hold still or move slowly within a scene, as filmed scenes do.
ours=("testsrc2=s=320x180:r=25" "smptehdbars=s=320x180:r=25,drawbox=x=t*40:y=60:w=60:h=60:c=yellow:t=fill"
      "gradients=s=320x180:r=25:seed=4:speed=0.01" "rgbtestsrc=s=320x180:r=25,hue=h=t*20"
      "sierpinski=s=320x180:r=25:seed=5:jump=1")
theirs=("sierpinski=s=320x180:r=25:seed=9:type=triangle:jump=1" "yuvtestsrc=s=320x180:r=25,hue=h=90"
        "gradients=s=320x180:r=25:seed=8:speed=0.01:c0=red:c1=blue"
        "pal75bars=s=320x180:r=25,drawbox=x=200-t*40:y=20:w=50:h=90:c=cyan:t=fill" "testsrc=s=320x180:r=25")
mapfile -t < <(scenes "${ours[@]}"; cat "$out/.inputs") lines
ffmpeg -loglevel error -y "${lines[@]:1}" -filter_complex "${lines[0]}" -map "[v]" -c:v libx264 -preset veryfast "$out/scenes.mp4"
mapfile -t < <(scenes "${theirs[@]}"; cat "$out/.inputs") lines
ffmpeg -loglevel error -y "${lines[@]:1}" -filter_complex "${lines[0]}" -map "[v]" -c:v libx264 -preset veryfast "$out/other.mp4"
rm "$out/.inputs"
ffmpeg -loglevel error -y -i "$out/scenes.mp4" -vf scale=224:126 -c:v mpeg4 -q:v 6 "$out/scenes-small.avi"
ffmpeg -loglevel error -y -ss 2 -i "$out/scenes.mp4" -c:v libvpx-vp9 -deadline realtime -cpu-used 8 -b:v 300k "$out/scenes-cut.webm"

# A 40 s movie that moves fast throughout (a scrolling test pattern, zooms into a fractal),
# and its copies re-encoded without the last 3 s and without the first 3 s.
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=s=320x180:r=25:d=10" -f lavfi -i "mandelbrot=s=320x180:r=25" \
  -f lavfi -i "testsrc=s=320x180:r=25:d=10" -f lavfi -i "mandelbrot=s=320x180:r=25:start_scale=0.5" \
  -filter_complex "[1]trim=duration=10,setpts=PTS-STARTPTS[m1];[3]trim=duration=10,setpts=PTS-STARTPTS[m2];[0][m1][2][m2]concat=n=4:v=1[v]" \
  -map "[v]" -c:v libx264 -preset veryfast -pix_fmt yuv420p "$out/moving.mp4"
ffmpeg -loglevel error -y -i "$out/moving.mp4" -t 37 -c:v libx264 -preset veryfast -pix_fmt yuv420p "$out/moving-end.mp4"
ffmpeg -loglevel error -y -ss 3 -i "$out/moving.mp4" -c:v libx264 -preset veryfast -pix_fmt yuv420p "$out/moving-start.mp4"

# Two video streams: the first the brightening grey of the other movies, the second plain
# red, so a cell from the second stream shows at once.
red="color=c=red:s=160x120:r=25:d=8"
for container in mkv mp4; do
  ffmpeg -loglevel error -y -f lavfi -i "$picture" -f lavfi -i "$red" -map 0:v -map 1:v -c:v libx264 -g 25 \
    -pix_fmt yuv420p "$out/twovideo.$container"
done

# Pictures: one of 20000 x 20000 (5 MB on disk, 1.2 GB decoded), too large to decode,
# and one of 8000 x 6000 that is decoded and shrunk. Both a vertical gradient from blue
# to red, its middle row purple.
python3 - "$out" <<'PY'
import struct, sys, zlib
def png(path, width, height):
    chunk = lambda kind, data: struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    pack = zlib.compressobj(1)
    body = []
    for y in range(height):
        red = y * 255 // (height - 1)
        body.append(pack.compress(b'\0' + bytes((red, 0, 255 - red)) * width))
    body.append(pack.flush())
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b'IDAT', b''.join(body)) + chunk(b'IEND', b''))
png(sys.argv[1] + '/huge.png', 20000, 20000)
png(sys.argv[1] + '/large.png', 8000, 6000)
PY
touch "$out/.complete-6"
