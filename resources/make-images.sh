#!/usr/bin/env bash
# Draws the fourteen switch images and the program icon into images/.
# Each switch is a key shape: dark blue with a grey caption when off, bright
# blue with a white caption when on. Rerun after changing a colour or caption.
set -euo pipefail
cd "$(dirname "$0")/images"

key() {  # name width height caption state
    local name=$1 w=$2 h=$3 caption=$4 state=$5 face edge text
    if [ "$state" = on ]; then face='#2a7cff'; edge='#9cc8ff'; text='#ffffff'
    else face='#0f2358'; edge='#34508f'; text='#9a9a9a'; fi
    convert -size "${w}x${h}" xc:black \
        -fill "$face" -stroke "$edge" -strokewidth 1 \
        -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) 5,5" \
        -stroke none -fill "$text" -font Liberation-Sans-Bold -pointsize 11 \
        -gravity center -annotate +0+0 "$caption" \
        -depth 8 -type TrueColor -define png:color-type=2 "$name.png"
}

for state in on off; do
    up=${state^^}
    key "IMG_BITMAP_NB_$up" 117 23 "Noise Blanker" "$state"
    key "IMG_BITMAP_LMS_$up" 117 23 "Noise Reduction" "$state"
    key "IMG_BITMAP_COMB_$up" 117 23 "Comb Filter" "$state"
    key "IMG_BITMAP_AGC_$up" 117 23 "AGC" "$state"
    key "IMG_BITMAP_PASS_$up" 58 24 "Pass" "$state"
    key "IMG_BITMAP_ALL_$up" 58 24 "Pass All" "$state"
    key "IMG_BITMAP_REJECT_$up" 58 24 "Reject" "$state"
done

# The icon: a green spectrum trace with a notch, over a dark blue key.
convert -size 64x64 xc:none -fill '#0f2358' -stroke '#9cc8ff' -strokewidth 2 \
    -draw "roundrectangle 2,2 61,61 10,10" \
    -fill none -stroke '#00ff00' -strokewidth 3 \
    -draw "polyline 8,48 16,40 22,20 28,44 32,52 36,44 42,16 48,34 56,46" \
    PROGRAM_ICON.png
