#!/usr/bin/env bash
# The video export measured: for .mp4 and .webm at the default size, the CPU
# time, wall time and size of the export, and the RGB PSNR of frames sampled
# across every scene against the PNG captures scaled the same way.
#   video_bench.sh CAPTURE-TOOL WORK-DIR [FROM TO [STEP]]
# Default: the whole show (0 to 141.5 s), a sample every 6 s. The machine's
# load is printed before and after: wall time means little on a busy machine.
set -eu
capture=$1 work=$2 from=${3:-0} to=${4:-141.5} step=${5:-6}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
echo "video export, $from to $to s, default size; $(nproc) cores"
for extension in ${VIDEO_BENCH_CONTAINERS:-mp4 webm}; do
    file=$work/show.$extension
    load=$(cut -d' ' -f1-3 /proc/loadavg)
    /usr/bin/time -f "%e %U %S" -o "$work/time.txt" \
        "$capture" --video "$file" --from "$from" --to "$to" 2>/dev/null
    read -r wall user system <"$work/time.txt"
    psnr=$(bash "$here/psnr.sh" "$capture" "$file" "$from" "$to" "$step" | grep ':' |
        sed 's/^\([a-z]*\): [0-9]* frames, /\1 /' | tr '\n' ';')
    awk -v e="$extension" -v w="$wall" -v u="$user" -v s="$system" -v l="$load" \
        -v b="$(stat -c %s "$file")" -v d="$(awk -v f="$from" -v t="$to" 'BEGIN { print t - f }')" \
        -v p="$psnr" 'BEGIN {
            printf ".%s: wall %.1f s (%.2fx real time), CPU %.1f s (user %.1f + system %.1f), " \
                "%.1f MB (%.1f Mb/s); load before %s\n", e, w, d / w, u + s, u, s, b / 1e6,
                b * 8 / 1e6 / d, l
            printf "   PSNR %s\n", p }'
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
