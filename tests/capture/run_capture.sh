#!/usr/bin/env bash
# The capture tool end to end.
#   run_capture.sh SCENARIO CAPTURE-TOOL WORK-DIR [TRACK-SAMPLES]
# Scenarios:
#   names-and-counts  hostile --out patterns and counts end with exit 2, no file
#   write-errors      full devices and disks, missing folders: exit 1, a message
#                     naming the file, no file left under the requested name
#   last-frame        --at 141.5 captures the show's last frame at any rate
#   video-exact       a lossless .mkv decodes to the PNG captures frame for
#                     frame and to the track's own samples; both streams start
#                     at 0 and last as long
#   video-blink       the closing blink (139.5 < t < 140) on exactly its frames
#   video-codecs      .mp4 and .webm as ffprobe reads them
#   video-errors      bad names, ranges and targets of --video
#   video-sizes       the default 2x .mp4 and .webm keep each pixel's colour;
#                     4k and the lossless .mkv's own size
#   faults            stop signals, size limits, closed pipes, pipes without a
#                     reader, long names, links, hostile bytes: a clean exit,
#                     nothing hidden left behind
set -u
# shellcheck source=../lib/check.sh
. "$(dirname "$0")/../lib/check.sh"
scenario=$1
capture=$2
work=$3
samples=${4:-}
bench=$(cd "$(dirname "$0")/../../bench/video" && pwd)/psnr.sh
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

# The last line says the given words, and at most one line is an error.
says() {
    if [ "$(grep -c '^shadestrip-capture:' err.txt)" -le 1 ] &&
        tail -n 1 err.txt | grep -qF -- "$1"; then
        pass "says \"$1\""
    else
        fail "expected a last line with \"$1\", got: $(tail -c 300 err.txt)"
    fi
}
# Nothing but the listed names in the folder.
only() {
    local left
    left=$(ls -A | grep -vxF -e out.txt -e err.txt "${@/#/-e}" | tr '\n' ' ')
    if [ -z "$left" ]; then pass "no stray files"; else fail "files left: $left"; fi
}
need() {
    command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; exit 77; }
}
probe() { ffprobe -v error -of default=nw=1:nk=1 "$@"; }
# stopWith SIGNAL WORD COMMAND...: runs the command in the background, sends it
# the signal once its standard error (err.txt) says the word, and leaves its
# exit status in $status.
stopWith() {
    local signal=$1 word=$2 pid
    shift 2
    "$@" 2>err.txt &
    pid=$!
    for _ in $(seq 300); do
        grep -q "$word" err.txt 2>/dev/null && break
        sleep 0.1
    done
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
}

# A 256 KB file system, for a disk that fills. Root only; skipped elsewhere.
smallDisk() {
    mkdir -p small
    if mount -t tmpfs -o size=256k tmpfs small 2>/dev/null; then
        trap 'umount "$work/small" 2>/dev/null' EXIT
        return 0
    fi
    echo "note: cannot mount a small tmpfs here; the full-disk case is left out"
    return 1
}

case $scenario in
names-and-counts)
    for pattern in 'f%s%s%s%s.txt' 'x%n' '%p.png' 'f%d%d' 'f%ld' '100%'; do
        expect 2 "--out '$pattern' refused" -- "$capture" --from 0 --to 0.3 --every 0.1 \
            --format text --out "$pattern"
        says "--out"
    done
    expect 2 "an unnumbered pattern for four frames" -- "$capture" --from 0 --to 0.3 \
        --every 0.1 --out 'x%%.png'
    says "number them with %d"
    expect 2 "a 65536x65536 sheet" -- "$capture" --from 0 --to 1 --sheet 65536x65536
    says "400 slots"
    expect 2 "--every 1e-9" -- "$capture" --from 0 --to 141 --every 1e-9
    says "100000 frames"
    expect 2 "a tiny range with a tiny step" -- "$capture" --from 1 --to 1.001 --every 1e-9
    says "100000 frames"
    expect 2 "a sheet too small for its frames" -- timeout 10 "$capture" --from 0 --to 141 \
        --every 0.1 --sheet 4x3
    says "12 slots for 1411 frames"
    only
    expect 0 "numbered names" -- "$capture" --from 0 --to 0.2 --every 0.1 --format cells \
        --out 'f%02d-100%%.cells'
    only f00-100%.cells f01-100%.cells f02-100%.cells
    ;;
write-errors)
    expect 1 "a PNG to /dev/full" -- "$capture" --at 1 --out /dev/full
    says "cannot write /dev/full: No space left on device"
    expect 1 "cells to /dev/full" -- "$capture" --at 1 --format cells --out /dev/full
    says "cannot write /dev/full: No space left on device"
    expect 1 "text to a full standard output" -- sh -c "'$capture' --at 1 --format text >/dev/full"
    says "cannot write to standard output: No space left on device"
    expect 1 "a missing folder" -- "$capture" --at 1 --out missing/x.png
    says "cannot write missing/x.png: No such file or directory"
    ln -s /dev/full full.png
    expect 1 "a PNG through a link to /dev/full" -- "$capture" --at 1 --out full.png
    says "cannot write full.png: No space left on device"
    [ -L full.png ] && pass "the link stays a link" || fail "the link was replaced"
    rm -f full.png
    only
    if smallDisk; then
        echo previous >small/keep.txt
        head -c 10M /dev/zero >small/filler 2>/dev/null
        expect 1 "a PNG to a full disk" -- "$capture" --at 70 --out small/shot.png
        says "cannot write small/shot.png: No space left on device"
        [ "$(ls -A small | tr '\n' ' ')" = "filler keep.txt " ] &&
            pass "nothing left on the full disk" || fail "left on the full disk: $(ls -A small)"
        expect 1 "text over an existing file on a full disk" -- "$capture" --at 70 \
            --format ansi --out small/keep.txt
        [ "$(cat small/keep.txt)" = previous ] && pass "the old file is untouched" ||
            fail "the old file was changed"
    fi
    ;;
last-frame)
    for fps in 7 30; do
        expect 0 "--at 141.5 at $fps fps" -- "$capture" --at 141.5 --fps "$fps" \
            --format cells --out "end$fps.cells"
    done
    # The closing picture stands still: the last frames agree across rates.
    cmp -s end7.cells end30.cells && pass "the same last picture" || fail "last pictures differ"
    ;;
video-exact)
    need ffprobe
    # Nine frames at 20 fps, natively sized, against PNG captures at the same times.
    expect 0 "a short .mkv" -- "$capture" --video v.mkv --from 100.2 --to 100.6 --fps 20 \
        --size native
    says "wrote v.mkv"
    expect 0 "the PNG captures" -- "$capture" --from 100.2 --to 100.6 --every 0.05 --fps 20 \
        --out 'p%d.png'
    ffmpeg -v error -i v.mkv -f rawvideo -pix_fmt rgb24 video.rgb
    ffmpeg -v error -i 'p%d.png' -f rawvideo -pix_fmt rgb24 png.rgb
    frameBytes=$((720 * 800 * 3))
    [ "$(stat -c %s video.rgb)" -eq $((9 * frameBytes)) ] && pass "nine frames" ||
        fail "the video holds $(($(stat -c %s video.rgb) / frameBytes)) frames"
    cmp -s video.rgb png.rgb && pass "frames equal the PNG captures" ||
        fail "frames differ from the PNG captures"
    # The sound: samples 100.2 s x 44100 on, for nine frames of 1/20 s.
    ffmpeg -v error -i v.mkv -map 0:a -f s16le audio.raw
    "$samples" 4418820 19845 >track.raw
    cmp -s audio.raw track.raw && pass "the sound is the track's samples" ||
        fail "the sound differs from the track ($(stat -c %s audio.raw) bytes)"
    for stream in v:0 a:0; do
        start=$(probe -select_streams "$stream" -show_entries stream=start_time v.mkv)
        [ "$start" = "0.000000" ] && pass "$stream starts at 0" || fail "$stream starts at $start"
    done
    videoEnd=$(ffprobe -v error -select_streams v:0 -show_entries packet=pts_time,duration_time \
        -of csv=p=0 v.mkv | awk -F, 'END { print $1 + $2 }')
    audioEnd=$(ffprobe -v error -select_streams a:0 -show_entries packet=pts_time,duration_time \
        -of csv=p=0 v.mkv | awk -F, '{ end = $1 + $2 } END { print end }')
    awk -v v="$videoEnd" -v a="$audioEnd" 'BEGIN { d = v - a; exit !(d < 0.05 && d > -0.05) }' &&
        pass "durations agree ($videoEnd s, $audioEnd s)" ||
        fail "durations differ: video $videoEnd s, sound $audioEnd s"
    # The 1080p frame: the same picture, taller, centred on black.
    expect 0 "a 1080p .mkv" -- "$capture" --video big.mkv --from 100.2 --to 100.2 --fps 20 \
        --size 1080p
    [ "$(probe -show_entries stream=width,height -select_streams v:0 big.mkv | tr '\n' x)" = \
        "1920x1080x" ] && pass "1920 x 1080" || fail "not 1920 x 1080"
    # The 2x frame is the PNG with each pixel made a 2 x 2 block.
    expect 0 "a 2x .mkv" -- "$capture" --video twice.mkv --from 100.2 --to 100.2 --fps 20 \
        --size 2x
    ffmpeg -v error -i twice.mkv -f rawvideo -pix_fmt rgb24 twice.rgb
    ffmpeg -v error -i p0.png -vf scale=iw*2:ih*2:flags=neighbor -f rawvideo -pix_fmt rgb24 \
        scaled.rgb
    cmp -s twice.rgb scaled.rgb && pass "2x is the PNG in 2 x 2 blocks" || fail "2x differs"
    ;;
video-blink)
    need ffprobe
    # 139.35 s to 140.15 s at 20 fps: frame times are multiples of 0.05 s, the
    # blink's edges 139.5 and 140 among them (both outside the blink).
    expect 0 "the blink's stretch" -- "$capture" --video b.mkv --from 139.35 --to 140.15 \
        --fps 20 --size native
    mkdir frames
    ffmpeg -v error -i b.mkv -f image2 'frames/%02d.bmp'
    reference=frames/01.bmp
    for i in $(seq 1 17); do
        t=$(awk -v i="$i" 'BEGIN { printf "%.2f", 139.35 + (i - 1) * 0.05 }')
        frame=$(printf 'frames/%02d.bmp' "$i")
        inside=$(awk -v t="$t" 'BEGIN { print (t > 139.5 && t < 140) ? 1 : 0 }')
        if cmp -s "$frame" "$reference"; then shown=0; else shown=1; fi
        [ "$shown" = "$inside" ] && pass "t = $t: blink $shown" ||
            fail "t = $t: blink shown $shown, expected $inside"
    done
    ;;
video-codecs)
    need ffprobe
    for kind in mp4:h264:aac webm:vp9:opus; do
        IFS=: read -r extension video audio <<<"$kind"
        expect 0 ".$extension" -- "$capture" --video "c.$extension" --from 30 --to 30.5 \
            --size native
        got=$(probe -show_entries stream=codec_name "c.$extension" | tr '\n' ' ')
        [ "$got" = "$video $audio " ] && pass ".$extension holds $got" ||
            fail ".$extension holds $got"
        start=$(probe -select_streams v:0 -show_entries stream=start_time "c.$extension")
        [ "$start" = "0.000000" ] && pass ".$extension video starts at 0" ||
            fail ".$extension video starts at $start"
    done
    ;;
video-errors)
    need ffprobe
    expect 2 "an unknown extension" -- "$capture" --video x.avi --to 1
    says "must end in .mp4, .webm or .mkv"
    expect 2 "--from after --to" -- "$capture" --video x.mkv --from 5 --to 4
    says "--from must not come after --to"
    expect 1 "a missing folder" -- "$capture" --video missing/x.mkv --to 0.1
    says "cannot write missing/x.mkv: No such file or directory"
    ln -s /dev/full full.mkv
    expect 1 "a video through a link to /dev/full" -- "$capture" --video full.mkv --to 0.1
    says "cannot write full.mkv: No space left on device"
    rm -f full.mkv
    only
    if smallDisk; then
        expect 1 "a video that fills the disk" -- "$capture" --video small/show.mkv \
            --from 60 --to 62 --size native
        says "cannot write small/show.mkv: No space left on device"
        [ -z "$(ls -A small)" ] && pass "nothing left on the full disk" ||
            fail "left on the full disk: $(ls -A small)"
    fi
    # Interrupted, the export removes its file.
    stopWith INT frames "$capture" --video cut.mkv --from 10 --to 60 --size native
    [ "$status" -eq 130 ] && pass "interrupted: exit 130" || fail "interrupted: exit $status"
    only small
    ;;
faults)
    need ffprobe
    # A run stopped by any of these signals exits 128 + N and leaves nothing.
    for signal in HUP QUIT USR1 ALRM TERM; do
        stopWith "$signal" frames "$capture" --video "cut-$signal.mkv" --from 10 --to 30 \
            --size native
        want=$((128 + $(kill -l "$signal")))
        [ "$status" -eq "$want" ] && pass "SIG$signal: exit $status" ||
            fail "SIG$signal: exit $status, not $want"
        says "stopped by signal"
    done
    mkdir seq
    stopWith HUP wrote "$capture" --from 0 --to 141 --every 0.01 --format cells \
        --out 'seq/f%05d.cells'
    [ "$status" -eq 129 ] && pass "a sequence stopped by SIGHUP" || fail "sequence: exit $status"
    [ -z "$(ls -A seq | grep -v '^f[0-9]*\.cells$')" ] && pass "only whole frames in the folder" ||
        fail "left in the folder: $(ls -A seq | grep -v '^f[0-9]*\.cells$')"
    rm -rf seq
    only
    # A file size limit: the write fails as on a full disk (no SIGXFSZ death).
    expect 1 "a video over the file size limit" -- bash -c \
        "ulimit -f 64; exec '$capture' --video big.mkv --from 60 --to 61 --size native"
    says "cannot write big.mkv: File too large"
    expect 1 "a PNG over the file size limit" -- bash -c \
        "ulimit -f 1; exec '$capture' --at 70 --out big.png"
    says "cannot write big.png: File too large"
    only
    # Standard error closed early: the video is still written whole.
    "$capture" --video piped.mkv --from 60 --to 60.5 --size native 2>&1 | head -c 20 >/dev/null
    status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] && pass "a closed standard error: exit 0" || fail "closed pipe: $status"
    [ "$(probe -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
        piped.mkv)" = 31 ] && pass "31 frames written" || fail "piped.mkv is not whole"
    rm -f piped.mkv
    only
    # A pipe with no reader: said, and a signal ends the wait.
    mkfifo pipe
    "$capture" --at 1 --format cells --out pipe 2>err.txt &
    pid=$!
    for _ in $(seq 100); do
        grep -q "waiting for a reader" err.txt && break
        sleep 0.1
    done
    grep -q "waiting for a reader of the pipe pipe" err.txt && pass "says it waits for a reader" ||
        fail "no word of the wait: $(cat err.txt)"
    cat pipe >read.cells
    wait "$pid"
    status=$?
    [ "$status" -eq 0 ] && [ "$(stat -c %s read.cells)" -eq 8000 ] &&
        pass "the reader gets the frame" || fail "through the pipe: exit $status"
    mkfifo pipe.mkv
    stopWith TERM "waiting for a reader" "$capture" --video pipe.mkv --to 0.2
    [ "$status" -eq 143 ] && pass "a wait ended by SIGTERM" || fail "wait ended: exit $status"
    cat pipe.mkv >read.mkv &
    expect 0 "a video into a pipe" -- "$capture" --video pipe.mkv --to 0.2
    wait
    [ "$(probe -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
        read.mkv)" = 13 ] && pass "the reader gets 13 frames" || fail "read.mkv is not whole"
    rm -f pipe pipe.mkv read.cells read.mkv
    only
    # Long names, links, hostile bytes.
    long=$(printf 'n%.0s' $(seq 251)).mkv
    expect 0 "a 255-byte name" -- "$capture" --video "$long" --to 0.1
    [ -f "$long" ] && pass "written under its name" || fail "no $long"
    rm -f "$long"
    mkdir real
    ln -s real/v.mkv link.mkv
    expect 0 "a video through a link" -- "$capture" --video link.mkv --to 0.1
    [ -L link.mkv ] && [ -f real/v.mkv ] && pass "the link stays a link" ||
        fail "the link was replaced"
    rm -rf real link.mkv
    expect 2 "--out ''" -- "$capture" --at 1 --out ''
    says "--out needs a file name"
    expect 2 "--every inf" -- "$capture" --from 0 --to 1 --every inf
    says "--every needs a number"
    expect 2 "141,501 video frames" -- "$capture" --video v.mkv --fps 1000
    says "more than 100000"
    expect 2 "control bytes in a name" -- "$capture" --video $'\e]2;x\a\e[31m.avi'
    if grep -q $'[\x01-\x08\x0b-\x1f\x7f]' err.txt; then
        fail "control bytes reached standard error"
    else
        pass "control bytes escaped: $(head -c 80 err.txt)"
    fi
    expect 0 "a name with a tab" -- "$capture" --at 1 --format cells --out $'a\tb.cells'
    grep -qF 'wrote a\x09b.cells' err.txt && pass "shown escaped" || fail "$(cat err.txt)"
    rm -f $'a\tb.cells'
    only
    ;;
video-sizes)
    need ffprobe
    # Frames of several scenes at the default size: RGB PSNR against the PNG
    # captures scaled the same way, decoded with nearest-neighbour colour. At
    # one frame a second every frame is a key frame, and the 4k clip is one
    # frame: the samples start at the first frame.
    export PSNR_CHROMA=neighbor PSNR_OFFSET=0
    for extension in mp4 webm; do
        expect 0 "a 2x .$extension" -- "$capture" --video "s.$extension" --from 12 --to 132 \
            --fps 1
        [ "$(probe -select_streams v:0 -show_entries stream=width,height,pix_fmt \
            "s.$extension" | tr '\n' ' ')" = "1440 1600 yuv420p " ] &&
            pass ".$extension is 1440 x 1600 4:2:0" || fail ".$extension: wrong size or format"
        least=$(bash "$bench" "$capture" "s.$extension" 12 132 24 1 | awk '/^neighbor:/ { print $5 }')
        awk -v l="$least" 'BEGIN { exit !(l >= 38) }' &&
            pass ".$extension: least PSNR $least dB" || fail ".$extension: least PSNR $least dB"
    done
    expect 0 "a 4k .mp4" -- "$capture" --video k.mp4 --from 70 --to 70 --size 4k
    [ "$(probe -select_streams v:0 -show_entries stream=width,height,level k.mp4 | tr '\n' ' ')" \
        = "3840 2160 52 " ] && pass "3840 x 2160 at level 5.2" || fail "4k: $(probe \
        -select_streams v:0 -show_entries stream=width,height,level k.mp4 | tr '\n' ' ')"
    least=$(bash "$bench" "$capture" k.mp4 70 70 1 60 3840x2160 | awk '/^neighbor:/ { print $5 }')
    awk -v l="$least" 'BEGIN { exit !(l >= 38) }' && pass "4k: PSNR $least dB" ||
        fail "4k: PSNR $least dB"
    expect 0 "a lossless .mkv" -- "$capture" --video l.mkv --to 0
    [ "$(probe -select_streams v:0 -show_entries stream=width,height l.mkv | tr '\n' ' ')" = \
        "720 800 " ] && pass "the .mkv keeps the capture's own size" || fail ".mkv size"
    ;;
*)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac

[ "$failures" -eq 0 ]
