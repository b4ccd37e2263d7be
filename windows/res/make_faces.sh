#!/usr/bin/env bash
# Draws the windows' faces and icons (ImageMagick with Debian's fonts-wqy-zenhei),
# each at 1x and, with a _2x suffix, at twice the size for scaled windows.
# The outputs are committed, so a build never needs this script; run it again
# after changing the artwork:  windows/res/make_faces.sh [output folder]
set -euo pipefail
OUT="${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)}"
FONT=/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc
[[ -f $FONT ]] || { echo "missing $FONT (fonts-wqy-zenhei)" >&2; exit 1; }

BG='rgb(30,9,104)'        # also the edit boxes' and the grid's background
STRIP='rgb(14,4,52)'
ACCENT='rgb(66,232,224)'
LINE='rgb(106,90,176)'
DIM='rgb(184,176,216)'
DARK='rgb(14,4,52)'

# All numbers below are 1x pixels; K (1 or 2) scales them as they are drawn.
# A 1x pixel centre c becomes the centre of its K x K block, K*c + (K-1)/2.
half() {  # N: N/2 written exactly
  local n=$1 s=
  ((n < 0)) && s=- n=$((-n))
  if ((n % 2)); then echo "$s$((n / 2)).5"; else echo "$s$((n / 2))"; fi
}
pt() { half $((2 * K * $1 + K - 1)); }
xy() { echo "$(pt "$1"),$(pt "$2")"; }
# ImageMagick fills a shape's edge pixels whole, so filled spans and radii grow
# by (K-1)/2 to keep the whole block of the 1x edge pixel.
box() { echo "$((K * $1)),$((K * $2)) $((K * $3 + K - 1)),$((K * $4 + K - 1))"; }
fr() { half $((2 * K * $1 + K - 1)); }
sw() { echo $((K * $1)); }

ARGS=()
# text LEFT BASELINE SIZE COLOUR STRING: baselines scale exactly, tops do not (the ascent is rounded per size)
text() {
  ARGS+=(-gravity None -fill "$4" -stroke none -pointsize $((K * $3)) -annotate "+$((K * $1))+$((K * $2))" "$5")
}
# rtext RIGHT BASELINE SIZE COLOUR STRING: ends at RIGHT, measured at the drawn size
rtext() {
  local w; w=$(width_of $((K * $3)) "$5")
  ARGS+=(-gravity None -fill "$4" -stroke none -pointsize $((K * $3)) -annotate "+$((K * $1 - w))+$((K * $2))" "$5")
}
# ctext LEFT TOP WIDTH HEIGHT SIZE COLOUR STRING: centred in a box, for a face W x H
ctext() {
  local dx=$(( $1 + $3 / 2 - FW / 2 )) dy=$(( $2 + $4 / 2 - FH / 2 ))
  ARGS+=(-gravity Center -fill "$6" -stroke none -pointsize $((K * $5))
         -annotate "$(printf '%+d%+d' $((K * dx)) $((K * dy)))" "$7")
}
width_of() { convert -font "$FONT" -pointsize "$1" label:"$2" -format %w info:; }
rect() { ARGS+=(-fill "$5" -stroke none -draw "roundrectangle $(box "$1" "$2" $(($1+$3-1)) $(($2+$4-1))) $(fr 6),$(fr 6)"); }
frame() {
  ARGS+=(-fill none -stroke "$5" -strokewidth "$(sw 2)"
         -draw "roundrectangle $(xy "$1" "$2") $(xy $(($1+$3-1)) $(($2+$4-1))) $(sw 6),$(sw 6)")
}
hline() { ARGS+=(-stroke "$4" -strokewidth "$(sw 1)" -draw "line $(xy "$1" "$3") $(xy "$2" "$3")"); }
vbar() { ARGS+=(-stroke "$DIM" -strokewidth "$(sw 1)" -draw "line $(xy "$1" "$2") $(xy "$1" $(($2+$3)))"); }
# disc X Y R: filled circle
disc() { ARGS+=(-draw "circle $(xy "$1" "$2") $(half $((2 * K * ($1 + $3) + 2 * K - 2))),$(pt "$2")"); }
# underlined link text centred in its hot spot
link() { ctext "$1" "$2" "$3" "$4" 18 "$ACCENT" "$5"; hline $(($1+4)) $(($1+$3-4)) $(($2+$4-3)) "$ACCENT"; }

strip() {  # HEIGHT TITLE MINX MINY CLOSEX CLOSEY (MINX empty: no minimise glyph)
  ARGS+=(-fill "$STRIP" -stroke none -draw "rectangle $(box 0 0 $((FW-1)) $(($1-1)))")
  local cy=$(($1 / 2))
  ARGS+=(-fill "$ACCENT"); disc 28 "$cy" 15
  ARGS+=(-fill "$DARK" -stroke "$DARK" -strokewidth "$(sw 3)" -draw "line $(xy 22 $((cy-8))) $(xy 22 $((cy+8)))"
         -draw "line $(xy 23 "$cy") $(xy 33 $((cy-8)))" -draw "line $(xy 24 $((cy-1))) $(xy 33 $((cy+8)))")
  text 54 $((cy + 7)) 18 white "$2"
  if [[ -n $3 ]]; then
    ARGS+=(-stroke white -strokewidth "$(sw 2)" -draw "line $(xy $(($3+9)) $(($4+17))) $(xy $(($3+23)) $(($4+17)))")
  fi
  ARGS+=(-stroke white -strokewidth "$(sw 2)" -draw "line $(xy $(($5+10)) $(($6+10))) $(xy $(($5+22)) $(($6+22)))"
         -draw "line $(xy $(($5+22)) $(($6+10))) $(xy $(($5+10)) $(($6+22)))")
}

icon_bullet() { ARGS+=(-fill none -stroke "$ACCENT" -strokewidth "$(sw 2)" -draw "circle $(xy "$1" "$2") $(xy $(($1+7)) "$2")"); }

out() { echo "$OUT/${1%.*}$SUF.${1##*.}"; }

render() {  # NAME: writes the face from ARGS
  # the 2x faces are resampled down before use, so they take a lower quality
  local jpeg=(-quality 92 -sampling-factor 1x1)
  ((K == 1)) || jpeg=(-quality 90 -sampling-factor 1x1)
  convert -size "$((K * FW))x$((K * FH))" "xc:$BG" -font "$FONT" "${ARGS[@]}" "${jpeg[@]}" -strip "$(out "$1")"
  ARGS=()
}

faces() {
# ---- login window, 1280 x 798 ------------------------------------------------
FW=1280 FH=798
TITLE="KOVA API權限申請暨環境使用驗證服務"
strip 48 "$TITLE" 1202 7 1240 8
ARGS+=(-fill "rgb(24,7,86)" -stroke none -draw "rectangle $(box 0 48 639 797)")
text 91 159 40 white "KOVA API申請專區"
text 91 202 18 "$DIM" "本程式僅供申請API開通及連線環境驗證服務"
frame 91 227 251 42 "$ACCENT"
ctext 91 227 251 42 18 "$ACCENT" "了解更多 →"
text 741 179 30 white "KOVA API申請"
local row=0 top label
for label in "身分證字號" "登入密碼" "憑證路徑" "憑證密碼"; do
  top=$((236 + row * 60))
  icon_bullet 752 $((top + 14))
  text 768 $((top + 20)) 17 "$DIM" "$label"
  hline 741 1150 $((top + 36)) "$LINE"
  row=$((row + 1))
done
rect 741 553 406 46 "$ACCENT"
ctext 741 553 406 46 20 "$DARK" "登入"
link 600 709 83 28 "常見問題"
vbar 697 714 18
link 713 709 169 28 "風險預告書簽署專區"
vbar 897 714 18
link 912 709 97 28 "憑證管理工具"
vbar 1022 714 18
link 1036 709 86 28 "忘記密碼"
render login_face.jpg

# ---- account list window, 1280 x 798 -------------------------------------------
strip 48 "$TITLE" 1203 8 1240 8
text 90 113 30 white "帳號列表"
text 90 169 19 "$DIM" "申請人身分證字號："
text 90 203 19 "$DIM" "帳號及權限申請狀態："
frame 88 243 1104 314 "$LINE"
ARGS+=(-fill "rgb(44,22,130)" -stroke none -draw "rectangle $(box 90 245 1189 288)")
local x=90 c w
local cols=("帳號類別:90" "分公司:120" "帳號:90" "聲明書簽署狀態:120" "API權限狀態:120" "說明:440" "功能:120")
for c in "${cols[@]}"; do
  w=${c##*:}
  ctext $x 245 "$w" 44 17 white "${c%:*}"
  x=$((x + w))
done
text 90 593 19 white "注意事項"
rtext 672 625 17 "$DIM" "1. 申請API權限前，請先完成各帳號API風險預告書之簽署，尚未簽署者請前往"
link 672 606 86 25 "簽署專區"
text 762 625 17 "$DIM" "。"
rtext 402 649 17 "$DIM" "2. 當API權限狀態為「已開通」，請前往"
link 402 631 106 23 "技術文件專區"
text 512 649 17 "$DIM" "下載API技術文件與範例程式。"
text 90 673 17 "$DIM" "3. 申請後狀態為「申請中」，審核完成後將以電子郵件通知，請留意您的信箱。"
link 359 724 91 28 "常見問題"
vbar 465 729 18
link 480 725 190 28 "風險預告書簽署專區"
frame 707 717 156 46 "$ACCENT"
ctext 707 717 156 46 19 "$ACCENT" "登出"
render list_face.jpg

# ---- submit dialog, 500 x 620 --------------------------------------------------
FW=500 FH=620
strip 46 "送出申請確認" "" 0 460 7
text 42 119 28 white "KOVA API申請"
local tops=(176 235 297 353 413) heights=(23 23 23 30 30) i=0 h
for label in "帳號類別" "分公司" "帳號" "憑證路徑" "憑證密碼"; do
  top=${tops[$i]} h=${heights[$i]}
  icon_bullet 50 $((top + h / 2))
  text 66 $((top + h / 2 + 7)) 17 "$DIM" "$label"
  hline 42 458 $((top + h + 6)) "$LINE"
  i=$((i + 1))
done
frame 22 541 217 47 "$ACCENT"
ctext 22 541 217 47 19 "$ACCENT" "取消"
rect 262 541 217 47 "$ACCENT"
ctext 262 541 217 47 19 "$DARK" "送出申請"
render submit_face.jpg

# ---- confirmation dialog, 480 x 520 ----------------------------------------------
FW=480 FH=520
strip 44 "送出申請確認" "" 0 440 4
ctext 0 70 480 50 28 white "送出申請成功"
local g
for g in 78:'rgb(40,40,140)' 70:'rgb(46,90,170)' 62:'rgb(56,160,200)' 54:"$ACCENT"; do
  ARGS+=(-fill "${g#*:}" -stroke none); disc 240 230 "${g%%:*}"
done
ARGS+=(-fill none -stroke "$DARK" -strokewidth "$(sw 9)" -draw "polyline $(xy 214 232) $(xy 234 252) $(xy 268 208)")
ctext 0 320 480 30 18 white "您的API權限申請已收到"
ctext 0 354 480 30 18 white "審核完成後，結果將以電子郵件通知您"
rect 30 436 425 47 "$ACCENT"
ctext 30 436 425 47 19 "$DARK" "確認"
render confirm_face.jpg
}

# ---- icons (PNG with alpha) ------------------------------------------------------
icon() {  # NAME W H draw-args...
  local name=$1 w=$2 h=$3; shift 3
  convert -size "$((K * w))x$((K * h))" xc:none -font "$FONT" "$@" -strip "PNG32:$(out "$name")"
}
icons() {
icon folder.png 24 24 -fill "$ACCENT" -stroke none -draw "roundrectangle $(box 2 5 10 9) $(fr 1),$(fr 1)" \
  -draw "roundrectangle $(box 2 7 21 19) $(fr 2),$(fr 2)"
local eye=(-fill none -stroke "$ACCENT" -strokewidth "$(sw 2)" -draw "ellipse $(xy 12 12) $(sw 9),$(sw 5) 0,360" -fill "$ACCENT")
icon eye_hidden.png 24 24 "${eye[@]}" -draw "circle $(xy 12 12) $(xy 14 12)" -draw "line $(xy 4 20) $(xy 20 4)"
icon eye_shown.png 24 24 "${eye[@]}" -draw "circle $(xy 12 12) $(xy 15 12)"
icon reload.png 100 32 -fill none -stroke "$ACCENT" -strokewidth "$(sw 2)" \
  -draw "roundrectangle $(xy 1 1) $(xy 98 30) $(sw 6),$(sw 6)" \
  -draw "stroke-linejoin round arc $(xy 10 8) $(xy 26 24) 40,320" -fill "$ACCENT" -draw "polygon $(xy 22 6) $(xy 28 11) $(xy 21 13)" \
  -stroke none -gravity West -pointsize $((K * 15)) -annotate +$((K * 32))+0 "重新整理"
icon apply_on.png 100 32 -fill "$ACCENT" -stroke none -draw "roundrectangle $(box 0 0 99 31) $(fr 6),$(fr 6)" \
  -fill "$DARK" -gravity Center -pointsize $((K * 16)) -annotate +0+0 "申請"
icon apply_off.png 100 32 -fill 'rgb(90,84,120)' -stroke none -draw "roundrectangle $(box 0 0 99 31) $(fr 6),$(fr 6)" \
  -fill 'rgb(150,146,170)' -gravity Center -pointsize $((K * 16)) -annotate +0+0 "申請"
}

for K in 1 2; do
  SUF=; ((K == 1)) || SUF=_${K}x
  faces
  icons
done
convert -size 64x64 xc:none -fill "$ACCENT" -draw "circle 32,32 32,2" \
  -fill none -stroke "$DARK" -strokewidth 7 -draw "line 22,16 22,48" -draw "line 25,32 44,15" -draw "line 27,31 44,49" \
  -define icon:auto-resize=48,32,16 "$OUT/kova.ico"
echo "faces and icons written to $OUT"
