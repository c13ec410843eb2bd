#!/usr/bin/env bash
# Generates the channels' test-pattern clips into site/media/ (never committed).
# Idempotent: a clip newer than this script is kept.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
SELF="$(pwd)/make-media.sh"
OUT=media
SECONDS_LONG=${MEDIA_SECONDS:-15}
SIZE=320x240
RATE=25
FONT=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
FF=(ffmpeg -nostdin -hide_banner -loglevel error -y)

command -v ffmpeg >/dev/null || { echo "make-media.sh: ffmpeg not found" >&2; exit 1; }
mkdir -p "$OUT"

# Captions need drawtext (libfreetype) and the DejaVu font; without them clips carry no caption.
HAVE_TEXT=0
if [ -r "$FONT" ] && "${FF[@]}" -f lavfi -i "color=c=black:s=32x32:d=0.04,drawtext=fontfile=$FONT:text=x" \
    -f null - >/dev/null 2>&1; then
  HAVE_TEXT=1
fi

# $1 = channel number: channel tag top left, running time bottom right.
caption() {
  [ "$HAVE_TEXT" = 1 ] || return 0
  local box="fontcolor=white:box=1:boxcolor=black@0.55:boxborderw=4"
  printf ",drawtext=fontfile=%s:text='LICHUAN %s':x=8:y=8:fontsize=16:%s" "$FONT" "$1" "$box"
  printf ",drawtext=fontfile=%s:text='%%{pts\\:hms}':x=w-tw-8:y=h-th-8:fontsize=14:%s" "$FONT" "$box"
}

fresh() { [ -s "$1" ] && [ "$1" -nt "$SELF" ]; }

video_in() { # $1 = channel, $2 = source filter (size/rate are added)
  echo "$2=size=$SIZE:rate=$RATE$3$(caption "$1"),format=yuv420p"
}

# H.264 settings shared by MP4 and HLS: keyframe every 2 s so segments cut cleanly.
H264=(-c:v libx264 -preset veryfast -profile:v main -pix_fmt yuv420p -crf 28 -maxrate 400k -bufsize 800k
      -g $((RATE * 2)) -keyint_min $((RATE * 2)) -sc_threshold 0)

mp4() { # channel source extra-filters tone-Hz
  local out="$OUT/$1.mp4"
  fresh "$out" && return 0
  "${FF[@]}" -f lavfi -i "$(video_in "$1" "$2" "$3")" -f lavfi -i "sine=frequency=$4:sample_rate=44100" \
    -t "$SECONDS_LONG" "${H264[@]}" -c:a aac -b:a 64k -ac 2 -movflags +faststart -f mp4 "$out.part"
  mv -f "$out.part" "$out"
}

webm() { # channel source extra-filters tone-Hz vp8|vp9
  local out="$OUT/$1.webm" codec
  fresh "$out" && return 0
  if [ "$5" = vp8 ]; then
    codec=(-c:v libvpx -b:v 300k -deadline realtime -cpu-used 8 -c:a libvorbis -q:a 2)
  else
    codec=(-c:v libvpx-vp9 -b:v 250k -deadline realtime -cpu-used 8 -row-mt 1 -c:a libopus -b:a 64k)
  fi
  "${FF[@]}" -f lavfi -i "$(video_in "$1" "$2" "$3")" -f lavfi -i "sine=frequency=$4:sample_rate=48000" \
    -t "$SECONDS_LONG" -pix_fmt yuv420p -g $((RATE * 2)) "${codec[@]}" -ac 2 -f webm "$out.part"
  mv -f "$out.part" "$out"
}

hls() { # channel source extra-filters tone-Hz
  local dir="$OUT/hls" tmp="$OUT/hls.part"
  fresh "$dir/index.m3u8" && return 0
  rm -rf "$tmp"
  mkdir -p "$tmp"
  "${FF[@]}" -f lavfi -i "$(video_in "$1" "$2" "$3")" -f lavfi -i "sine=frequency=$4:sample_rate=44100" \
    -t "$SECONDS_LONG" "${H264[@]}" -c:a aac -b:a 64k -ac 2 \
    -f hls -hls_time 2 -hls_playlist_type vod -hls_flags independent_segments \
    -hls_segment_filename "$tmp/seg%03d.ts" "$tmp/index.m3u8"
  rm -rf "$dir"
  mv "$tmp" "$dir"
}

# Live channels loop a 60 s source; the server cuts the window and paces the streams itself.
LIVE=$OUT/live
LIVE_SECONDS=60

# Video and sound as IPTV channels carry them; $1 = h264 (with AAC), hevc, ac3 (H.264 with AC-3)
# or mpeg2 (with MP2). Sets vcodec, acodec and arate.
live_codecs() {
  vcodec=("${H264[@]}") acodec=(-c:a aac -b:a 64k) arate=44100
  case $1 in
  hevc)
    vcodec=(-c:v libx265 -preset veryfast -crf 30 -pix_fmt yuv420p
            -x265-params "keyint=$((RATE * 2)):min-keyint=$((RATE * 2)):scenecut=0:log-level=error") ;;
  ac3) acodec=(-c:a ac3 -b:a 96k) arate=48000 ;;
  mpeg2) # Broadcast shape: half-second closed GOPs with B-frames.
    vcodec=(-c:v mpeg2video -b:v 600k -maxrate 800k -bufsize 800k -g $((RATE / 2)) -bf 2 -flags +cgop
            -sc_threshold 1000000000 -pix_fmt yuv420p)
    acodec=(-c:a mp2 -b:a 128k) arate=48000 ;;
  esac
}

live_encode() { # channel source extra-filters tone-Hz kind, then output options
  local ch=$1 src=$2 extra=$3 tone=$4 vcodec acodec arate
  live_codecs "$5"
  shift 5
  "${FF[@]}" -f lavfi -i "$(video_in "$ch" "$src" "$extra")" -f lavfi -i "sine=frequency=$tone:sample_rate=$arate" \
    -t "$LIVE_SECONDS" "${vcodec[@]}" "${acodec[@]}" -ac 2 "$@"
}

live_hls() { # folder channel source extra-filters tone-Hz kind
  local dir="$LIVE/$1" tmp="$LIVE/$1.part"
  shift
  fresh "$dir/source.m3u8" && return 0
  rm -rf "$tmp"
  mkdir -p "$tmp"
  # ffmpeg's own playlist only tells the server the segment durations.
  live_encode "$@" -f hls -hls_time 2 -hls_list_size 0 -hls_playlist_type vod \
    -hls_flags independent_segments -hls_segment_filename "$tmp/seg%03d.ts" "$tmp/source.m3u8"
  rm -rf "$dir"
  mv "$tmp" "$dir"
}

live_flv() { # channel source extra-filters tone-Hz
  local out="$LIVE/$1.flv"
  fresh "$out" && return 0
  mkdir -p "$LIVE"
  # A live publisher knows no duration and never ends the sequence.
  live_encode "$@" h264 -flvflags no_duration_filesize+no_sequence_end -f flv "$out.part"
  mv -f "$out.part" "$out"
}

live_ts() { # channel source extra-filters tone-Hz kind
  local out="$LIVE/$1.ts"
  fresh "$out" && return 0
  mkdir -p "$LIVE"
  # One audio frame per PES, as broadcast encoders send it, so pacing stays smooth.
  live_encode "$@" -pes_payload_size 0 -f mpegts "$out.part"
  mv -f "$out.part" "$out"
}

# Two encoders at a time: the machine has two cores and x264 at this size is mostly single-threaded.
pids=()
status=0
run() {
  "$@" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
}

# Third column: ":opt=..." extends the source's options, ",filter" appends a filter.
run mp4  01 testsrc2      ""                          440
run mp4  02 smptebars     ""                          1000
run hls  03 testsrc       ""                          660
run webm 04 mandelbrot    ":maxiter=200"              330 vp9
run mp4  05 life          ":mold=10:ratio=0.2:life_color=0x30e060:death_color=0x102040" 550
run mp4  06 rgbtestsrc    ",hue=H=2*PI*t/6"           392
run webm 07 cellauto      ":rule=110:scroll=1"        587 vp8
run mp4  08 colorspectrum ",hue=H=2*PI*t/8"           262
run mp4  09 yuvtestsrc    ",hue=H=2*PI*t/5"           494
run mp4  10 gradients     ":speed=0.03"               349
run mp4  11 smptehdbars   ""                          880
run mp4  12 pal75bars     ""                          784
run live_hls hls 13 sierpinski ":type=carpet:seed=13:jump=40" 523 h264
run live_flv 14 sierpinski ":type=triangle:seed=14" 698
run live_ts  15 life       ":rule=B36/S23:seed=15:mold=20:life_color=0xe0a030:death_color=0x301008:mold_color=0x602010" 988 h264
run live_hls hevc 16 mandelbrot ":maxiter=120:start_scale=2" 415 hevc
run live_ts  17 testsrc2   ",hue=H=2*PI*t/7"           622 ac3
run live_ts  18 smptebars  ",hue=s=0.6"                 740 mpeg2

for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
