#!/usr/bin/env bash
# RGB PSNR of a video of the capture tool against its PNG captures.
#   psnr.sh CAPTURE-TOOL VIDEO FROM TO STEP [FPS] [WIDTHxHEIGHT]
# VIDEO was made with --from FROM --to TO at FPS (default 60) and the default
# 2x size (1440 x 1600; another whole-factor size as WIDTHxHEIGHT, centred).
# Every STEP seconds (whole frames at FPS), PSNR_OFFSET frames after each
# whole step from FROM (default 37: the middle of the one-second group of
# pictures, a predicted frame; 0 samples the key frames, which the encoders
# give the most bits), the PNG capture is scaled by nearest neighbour the
# same way and compared with the video's frame,
# decoded with nearest-neighbour colour planes (what the encoding aims at) and
# with bilinear ones (what a player may show). Prints one line per sample and
# the least and the mean. PSNR_CHROMA=neighbor leaves out the bilinear pass.
set -eu
capture=$1 video=$2 from=$3 to=$4 step=$5 fps=${6:-60} size=${7:-1440x1600}
width=${size%x*} height=${size#*x} offset=${PSNR_OFFSET:-37}
work=$(mktemp -d "${TMPDIR:-/tmp}/video-psnr.XXXXXX")
trap 'rm -rf "$work"' EXIT
start=$(awk -v f="$from" -v o="$offset" -v r="$fps" 'BEGIN { printf "%.6f", f + (o - 0.01) / r }')
"$capture" --from "$start" --to "$to" --every "$step" --fps "$fps" --out "$work/ref%04d.png" \
    2>/dev/null
count=$(ls "$work" | wc -l)
frames=$(awk -v s="$step" -v f="$fps" 'BEGIN { printf "%d", s * f + 0.5 }')
scale=$(( height / 800 < width / 720 ? height / 800 : width / 720 ))
pad="pad=$width:$height:$(( (width - 720 * scale) / 2 & ~1 )):$(( (height - 800 * scale) / 2 & ~1 ))"
for chroma in ${PSNR_CHROMA:-neighbor bilinear}; do
    ffmpeg -v error -i "$video" -framerate 1 -i "$work/ref%04d.png" -filter_complex \
        "[0:v]select='gte(n\,$offset)*not(mod(n-$offset\,$frames))',setpts=N/TB,scale=flags=$chroma+accurate_rnd+full_chroma_int:in_color_matrix=bt709:in_range=tv,format=rgb24[a];
         [1:v]scale=iw*$scale:ih*$scale:flags=neighbor,$pad,format=rgb24,setpts=N/TB[b];
         [a][b]psnr=stats_file=$work/$chroma.txt" -frames:v "$count" -f null - 
    awk -v from="$start" -v step="$step" -v c="$chroma" '
        { for (i = 1; i <= NF; i++) if ($i ~ /^psnr_avg:/) { split($i, p, ":"); v = p[2] }
          if (v == "inf") v = 99; t = from + (NR - 1) * step
          printf "%s t=%.2f %.2f dB\n", c, t, v; sum += v; n++; if (n == 1 || v < low) { low = v; at = t } }
        END { printf "%s: %d frames, least %.2f dB (t=%.2f), mean %.2f dB\n", c, n, low, at, sum / n }' \
        "$work/$chroma.txt"
done
