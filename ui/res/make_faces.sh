#!/usr/bin/env bash
# Draws the windows' faces and icons (ImageMagick with Debian's fonts-wqy-zenhei).
# The outputs are committed, so a build never needs this script; run it again
# after changing the artwork:  ui/res/make_faces.sh [output folder]
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

ARGS=()
# text LEFT TOP SIZE COLOUR STRING: top-left placement
text() { ARGS+=(-gravity NorthWest -fill "$4" -stroke none -pointsize "$3" -annotate "+$1+$2" "$5"); }
# ctext LEFT TOP WIDTH HEIGHT SIZE COLOUR STRING: centred in a box, for a face W x H
ctext() {
  local dx=$(( $1 + $3 / 2 - FW / 2 )) dy=$(( $2 + $4 / 2 - FH / 2 ))
  ARGS+=(-gravity Center -fill "$6" -stroke none -pointsize "$5" -annotate "$(printf '%+d%+d' "$dx" "$dy")" "$7")
}
width_of() { convert -font "$FONT" -pointsize "$1" label:"$2" -format %w info:; }
rect() { ARGS+=(-fill "$5" -stroke none -draw "roundrectangle $1,$2 $(($1+$3-1)),$(($2+$4-1)) 6,6"); }
frame() { ARGS+=(-fill none -stroke "$5" -strokewidth 2 -draw "roundrectangle $1,$2 $(($1+$3-1)),$(($2+$4-1)) 6,6"); }
hline() { ARGS+=(-stroke "$4" -strokewidth 1 -draw "line $1,$3 $2,$3"); }
vbar() { ARGS+=(-stroke "$DIM" -strokewidth 1 -draw "line $1,$2 $1,$(($2+$3))"); }
# underlined link text centred in its hot spot
link() { ctext "$1" "$2" "$3" "$4" 18 "$ACCENT" "$5"; hline $(($1+4)) $(($1+$3-4)) $(($2+$4-3)) "$ACCENT"; }

strip() {  # HEIGHT TITLE MINX MINY CLOSEX CLOSEY (MINX empty: no minimise glyph)
  ARGS+=(-fill "$STRIP" -stroke none -draw "rectangle 0,0 $((FW-1)),$(($1-1))")
  local r=15 cy=$(($1 / 2))
  ARGS+=(-fill "$ACCENT" -draw "circle 28,$cy $((28+r)),$cy")
  ARGS+=(-fill "$DARK" -stroke "$DARK" -strokewidth 3 -draw "line 22,$((cy-8)) 22,$((cy+8))"
         -draw "line 23,$cy 33,$((cy-8))" -draw "line 24,$((cy-1)) 33,$((cy+8))")
  text 54 $((cy - 11)) 18 white "$2"
  if [[ -n $3 ]]; then
    ARGS+=(-stroke white -strokewidth 2 -draw "line $(($3+9)),$(($4+17)) $(($3+23)),$(($4+17))")
  fi
  ARGS+=(-stroke white -strokewidth 2 -draw "line $(($5+10)),$(($6+10)) $(($5+22)),$(($6+22))"
         -draw "line $(($5+22)),$(($6+10)) $(($5+10)),$(($6+22))")
}

icon_bullet() { ARGS+=(-fill none -stroke "$ACCENT" -strokewidth 2 -draw "circle $1,$2 $(($1+7)),$2"); }

render() {  # NAME: writes the face from ARGS
  convert -size "${FW}x${FH}" "xc:$BG" -font "$FONT" "${ARGS[@]}" -quality 92 -strip \
    -sampling-factor 1x1 "$OUT/$1"
  ARGS=()
}

# ---- login window, 1280 x 798 ------------------------------------------------
FW=1280 FH=798
TITLE="KOVA API權限申請暨環境使用驗證服務"
strip 48 "$TITLE" 1202 7 1240 8
ARGS+=(-fill "rgb(24,7,86)" -stroke none -draw "rectangle 0,48 639,797")
text 91 120 40 white "KOVA API申請專區"
text 91 184 18 "$DIM" "本程式僅供申請API開通及連線環境驗證服務"
frame 91 227 251 42 "$ACCENT"
ctext 91 227 251 42 18 "$ACCENT" "了解更多 →"
text 741 150 30 white "KOVA API申請"
row=0
for label in "身分證字號" "登入密碼" "憑證路徑" "憑證密碼"; do
  top=$((236 + row * 60))
  icon_bullet 752 $((top + 14))
  text 768 $((top + 3)) 17 "$DIM" "$label"
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
text 90 84 30 white "帳號列表"
text 90 150 19 "$DIM" "申請人身分證字號："
text 90 184 19 "$DIM" "帳號及權限申請狀態："
frame 88 243 1104 314 "$LINE"
ARGS+=(-fill "rgb(44,22,130)" -stroke none -draw "rectangle 90,245 1189,288")
x=90
cols=("帳號類別:90" "分公司:120" "帳號:90" "聲明書簽署狀態:120" "API權限狀態:120" "說明:440" "功能:120")
for c in "${cols[@]}"; do
  w=${c##*:}
  ctext $x 245 "$w" 44 17 white "${c%:*}"
  x=$((x + w))
done
text 90 574 19 white "注意事項"
pre="1. 申請API權限前，請先完成各帳號API風險預告書之簽署，尚未簽署者請前往"
text $((672 - $(width_of 17 "$pre"))) 608 17 "$DIM" "$pre"
link 672 606 86 25 "簽署專區"
text 762 608 17 "$DIM" "。"
pre="2. 當API權限狀態為「已開通」，請前往"
text $((402 - $(width_of 17 "$pre"))) 632 17 "$DIM" "$pre"
link 402 631 106 23 "技術文件專區"
text 512 632 17 "$DIM" "下載API技術文件與範例程式。"
text 90 656 17 "$DIM" "3. 申請後狀態為「申請中」，審核完成後將以電子郵件通知，請留意您的信箱。"
link 359 724 91 28 "常見問題"
vbar 465 729 18
link 480 725 190 28 "風險預告書簽署專區"
frame 707 717 156 46 "$ACCENT"
ctext 707 717 156 46 19 "$ACCENT" "登出"
render list_face.jpg

# ---- submit dialog, 500 x 620 --------------------------------------------------
FW=500 FH=620
strip 46 "送出申請確認" "" 0 460 7
text 42 92 28 white "KOVA API申請"
tops=(176 235 297 353 413)
heights=(23 23 23 30 30)
i=0
for label in "帳號類別" "分公司" "帳號" "憑證路徑" "憑證密碼"; do
  top=${tops[$i]} h=${heights[$i]}
  icon_bullet 50 $((top + h / 2))
  text 66 $((top + h / 2 - 10)) 17 "$DIM" "$label"
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
for g in 78:'rgb(40,40,140)' 70:'rgb(46,90,170)' 62:'rgb(56,160,200)'; do
  ARGS+=(-fill "${g#*:}" -stroke none -draw "circle 240,230 $((240 + ${g%%:*})),230")
done
ARGS+=(-fill "$ACCENT" -draw "circle 240,230 294,230")
ARGS+=(-fill none -stroke "$DARK" -strokewidth 9 -draw "polyline 214,232 234,252 268,208")
ctext 0 320 480 30 18 white "您的API權限申請已收到"
ctext 0 354 480 30 18 white "審核完成後，結果將以電子郵件通知您"
rect 30 436 425 47 "$ACCENT"
ctext 30 436 425 47 19 "$DARK" "確認"
render confirm_face.jpg

# ---- icons (PNG with alpha) ------------------------------------------------------
icon() {  # NAME W H draw-args...
  local name=$1 w=$2 h=$3; shift 3
  convert -size "${w}x${h}" xc:none -font "$FONT" "$@" -strip "PNG32:$OUT/$name"
}
icon folder.png 24 24 -fill "$ACCENT" -stroke none -draw "roundrectangle 2,5 10,9 1,1" \
  -draw "roundrectangle 2,7 21,19 2,2"
icon eye_hidden.png 24 24 -fill none -stroke "$ACCENT" -strokewidth 2 \
  -draw "ellipse 12,12 9,5 0,360" -fill "$ACCENT" -draw "circle 12,12 14,12" -draw "line 4,20 20,4"
icon eye_shown.png 24 24 -fill none -stroke "$ACCENT" -strokewidth 2 \
  -draw "ellipse 12,12 9,5 0,360" -fill "$ACCENT" -draw "circle 12,12 15,12"
icon reload.png 100 32 -fill none -stroke "$ACCENT" -strokewidth 2 -draw "roundrectangle 1,1 98,30 6,6" \
  -draw "arc 10,8 26,24 40,320" -fill "$ACCENT" -draw "polygon 22,6 28,11 21,13" \
  -stroke none -gravity West -pointsize 15 -annotate +32+0 "重新整理"
icon apply_on.png 100 32 -fill "$ACCENT" -stroke none -draw "roundrectangle 0,0 99,31 6,6" \
  -fill "$DARK" -gravity Center -pointsize 16 -annotate +0+0 "申請"
icon apply_off.png 100 32 -fill 'rgb(90,84,120)' -stroke none -draw "roundrectangle 0,0 99,31 6,6" \
  -fill 'rgb(150,146,170)' -gravity Center -pointsize 16 -annotate +0+0 "申請"
convert -size 64x64 xc:none -fill "$ACCENT" -draw "circle 32,32 32,2" \
  -fill none -stroke "$DARK" -strokewidth 7 -draw "line 22,16 22,48" -draw "line 25,32 44,15" -draw "line 27,31 44,49" \
  -define icon:auto-resize=48,32,16 "$OUT/kova.ico"
echo "faces and icons written to $OUT"
