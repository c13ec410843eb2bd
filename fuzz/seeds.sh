#!/usr/bin/env bash
# Makes the fuzzers' first inputs from small media made with ffmpeg, as
# servers send them: fuzz/seeds.sh DIR writes DIR/<target>/ for the stream
# readers. Never committed: fuzz/run makes them anew; what they lead to
# joins fuzz/corpus/.
set -euo pipefail
out=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
FF=(ffmpeg -nostdin -hide_banner -loglevel error -y)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"/{ts,flv,hls,rtp,requesthead,headerlist}

clip() { # name container video audio [extra...]
    local name=$1 format=$2 video=$3 audio=$4
    shift 4
    "${FF[@]}" -f lavfi -i testsrc=d=0.3:s=64x48:r=10 -f lavfi -i sine=d=0.3 \
        -c:v "$video" -c:a "$audio" "$@" -f "$format" "$tmp/$name"
}
clip h264-aac.ts mpegts libx264 aac
clip h264-ac3.ts mpegts libx264 ac3
clip mpeg2-mp2.ts mpegts mpeg2video mp2
clip hevc-eac3.ts mpegts libx265 eac3 -x265-params log-level=error
clip h264-aac.flv flv libx264 aac
clip h264-mp3.flv flv libx264 libmp3lame

# A reader's input starts with how it is fed: whether the sound goes, then
# how many piece sizes follow, then the sizes.
for f in "$tmp"/*.ts; do
    for options in '\x00\x00' '\x01\x00' '\x01\x03\xbc\x07\x01'; do
        { printf "$options"; head -c 60000 "$f"; } >"$out/ts/$(basename "$f")-$(printf '%s' "$options" | md5sum | cut -c1-6)"
    done
done
for f in "$tmp"/*.flv; do
    for options in '\x00\x00' '\x01\x00' '\x01\x02\x0b\x05'; do
        { printf "$options"; head -c 60000 "$f"; } >"$out/flv/$(basename "$f")-$(printf '%s' "$options" | md5sum | cut -c1-6)"
    done
done

# Datagrams: seven packets each, plain and in RTP with its options.
perl -e '
    my ($ts, $dir) = @ARGV;
    open my $in, "<:raw", $ts or die;
    read $in, my $bytes, 7 * 188 * 4;
    my @packets = unpack "(a1316)*", $bytes;
    my $n = 0;
    for my $p (@packets) {
        my @kinds = (
            $p,
            pack("CCnNN", 0x80, 33, $n, 90 * $n, 7) . $p,
            pack("CCnNN", 0x82, 33, $n, 0, 7) . pack("NN", 1, 2) . $p,
            pack("CCnNN", 0x90, 33, $n, 0, 7) . pack("nn", 0xBEDE, 1) . "xxxx" . $p,
            pack("CCnNN", 0xA0, 33, $n, 0, 7) . $p . "\0\0\0\4",
        );
        for my $k (0 .. $#kinds) {
            open my $o, ">:raw", "$dir/datagram-$n-$k" or die;
            print $o $kinds[$k];
        }
        ++$n;
    }' "$tmp/h264-aac.ts" "$out/rtp"

# Playlists as ffmpeg writes them: live, a master with two variants and
# separate sound, fMP4 with an init section, AES-128 keys.
mkdir -p "$tmp"/{live,master,fmp4,aes}
"${FF[@]}" -f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=d=1 -c:v libx264 -c:a aac \
    -f hls -hls_time 0.2 -hls_list_size 3 -hls_flags delete_segments "$tmp/live/index.m3u8"
"${FF[@]}" -f lavfi -i testsrc=d=1:s=64x48:r=10 -f lavfi -i sine=d=1 \
    -map 0:v -map 0:v -map 1:a -c:v libx264 -c:a aac -b:v:0 100k -b:v:1 50k \
    -var_stream_map "v:0,agroup:aud v:1,agroup:aud a:0,agroup:aud" \
    -master_pl_name master.m3u8 -f hls -hls_time 0.5 "$tmp/master/%v.m3u8"
"${FF[@]}" -f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v libx264 -f hls -hls_time 0.5 \
    -hls_segment_type fmp4 "$tmp/fmp4/index.m3u8"
printf '0123456789abcdef' >"$tmp/aes/key"
printf 'key\n%s\n' "$tmp/aes/key" >"$tmp/aes/info"
"${FF[@]}" -f lavfi -i testsrc=d=1:s=64x48:r=10 -c:v libx264 -f hls -hls_time 0.5 \
    -hls_key_info_file "$tmp/aes/info" "$tmp/aes/index.m3u8"
for f in "$tmp"/*/*.m3u8; do
    cp "$f" "$out/hls/$(basename "$(dirname "$f")")-$(basename "$f")"
done

# Request heads as the stream page sends them, and one that is no request.
for head in \
    'GET /0123456789abcdef0123456789abcdef/u/aHR0cDovL2EvYi50cw?can=h264,aac HTTP/1.1\r\nHost: 127.0.0.1:4000\r\nOrigin: http://127.0.0.1:4000\r\nSec-Fetch-Site: same-origin\r\nRange: bytes=0-\r\n\r\n' \
    'GET /t/udp HTTP/1.1\r\nHost: 127.0.0.1:4000\r\n\r\n' \
    'POST / HTTP/1.0\r\nhost:x\r\n\r\nbody'; do
    printf '\x00\x02\x05\x40%b' "$head" >"$out/requesthead/$(printf '%s' "$head" | md5sum | cut -c1-8)"
done

# Channel addresses as lists write them, headers and all.
sed -n 's/^[^;]*;//p' "$here/../site/zavo/list.txt" | sed 's/@SITE@/http:\/\/127.0.0.1:18086/;s/@SITE_ENCODED@/http%3A%2F%2F127.0.0.1%3A18086/' |
    while read -r line; do printf '%s' "$line" >"$out/headerlist/$(printf '%s' "$line" | md5sum | cut -c1-8)"; done
printf '%s' 'http://a/b.m3u8|User-Agent=Box%2F1.0&Referer=http%3A%2F%2Fa%2F&Host=x' >"$out/headerlist/agent"
