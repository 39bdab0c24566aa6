#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Prints a PDF and a PNG through a private cupsd: the real filter chain turns
# them into raster, rastertoinkdot into a page stream on a file: device.
# Checks that the stream decodes into dot-plane pages of the right count and
# size, and that each page equals what `inkdot print` makes from the same
# raster (captured with cupsfilter). The cupsd listens on a socket in a
# scratch folder only, keeps all its state there, and is stopped at the end.
#   spooler_test.sh FILTER STREAM_TOOL INKDOT PPD
set -eu
FILTER=$1 TOOL=$2 INKDOT=$3 PPD=$4

skip() { echo "SKIP: $*"; exit 77; }
CUPSD=/usr/sbin/cupsd
[ -x "$CUPSD" ] || skip "no cupsd (install cups, cups-filters and cups-client)"
for program in lp lpadmin lpstat cupsfilter; do
  command -v "$program" >/dev/null || skip "no $program (install cups-client)"
done
[ -x /usr/lib/cups/filter/pdftoraster ] || skip "no pdftoraster (install cups-filters)"

S=$(mktemp -d /tmp/inkdot-cups.XXXXXX)
chmod 755 "$S"
CUPSD_PID=
cleanup() {
  if [ -n "$CUPSD_PID" ]; then
    kill "$CUPSD_PID" 2>/dev/null || true
    wait "$CUPSD_PID" 2>/dev/null || true
  fi
  if [ -n "${INKDOT_CUPS_KEEP:-}" ]; then echo "kept $S"; else rm -rf "$S"; fi
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$S/log/error_log" ] && grep -E 'E \[|rastertoinkdot|ERROR' "$S/log/error_log" | tail -30
  exit 1
}

# cupsd runs filters as an unprivileged user when started as root, and wants
# every program it runs owned by root and writable by no one else: its
# ServerBin links the system one's programs and our filter.
mkdir -p "$S/etc/ppd" "$S/bin/filter" "$S/spool" "$S/cache" "$S/state" "$S/tmp" "$S/log" \
  "$S/out" "$S/work"
for dir in /usr/lib/cups/*; do
  [ "$(basename "$dir")" = filter ] || ln -s "$dir" "$S/bin/$(basename "$dir")"
done
for program in /usr/lib/cups/filter/*; do ln -s "$program" "$S/bin/filter/"; done
# A link, not a copy: the filter finds the build tree's profile from where
# it really lies.
ln -s "$(readlink -f "$FILTER")" "$S/bin/filter/rastertoinkdot"
# The filters run as that user: it writes scratch files and the device file.
chmod 1777 "$S/out" "$S/tmp"

if [ "$(id -u)" -eq 0 ]; then
  USER_LINES="User lp
Group lp"
else
  USER_LINES=""
fi
cat > "$S/etc/cups-files.conf" <<CONF
$USER_LINES
SystemGroup root $(id -gn)
ServerBin $S/bin
DataDir /usr/share/cups
RequestRoot $S/spool
CacheDir $S/cache
StateDir $S/state
TempDir $S/tmp
AccessLog $S/log/access_log
ErrorLog $S/log/error_log
PageLog $S/log/page_log
Printcap $S/printcap
FileDevice Yes
CONF
cat > "$S/etc/cupsd.conf" <<CONF
Listen $S/cups.sock
LogLevel debug
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF

export CUPS_SERVER="$S/cups.sock"
"$CUPSD" -f -c "$S/etc/cupsd.conf" -s "$S/etc/cups-files.conf" >"$S/log/cupsd.out" 2>&1 &
CUPSD_PID=$!
tries=0
until lpstat -r 2>/dev/null | grep -q "is running"; do
  tries=$((tries + 1))
  if [ $tries -gt 50 ] || ! kill -0 "$CUPSD_PID" 2>/dev/null; then
    cat "$S/log/cupsd.out" "$S/log/error_log" 2>/dev/null | tail -5
    CUPSD_PID=
    skip "cupsd did not start"
  fi
  sleep 0.1
done

lpadmin -p inkdot -E -v "file:$S/out/job.ikd" -P "$PPD" 2>"$S/log/lpadmin.out" || fail "lpadmin could not add the queue"

# A two-page PDF of coloured boxes on 4x6in pages, and the test chart PNG.
pdf() {
  out=$1
  : > "$out"
  offsets=""
  add() { offsets="$offsets $(wc -c < "$out")"; printf '%s\n' "$1" >> "$out"; }
  printf '%%PDF-1.4\n' >> "$out"
  add "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj"
  add "2 0 obj << /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 /MediaBox [0 0 288 432] >> endobj"
  add "3 0 obj << /Type /Page /Parent 2 0 R /Contents 4 0 R >> endobj"
  stream1="1 0 0 rg 20 20 120 200 re f 0 0.6 0.9 rg 150 220 110 180 re f 0.5 g 40 300 80 80 re f"
  add "4 0 obj << /Length ${#stream1} >> stream
$stream1
endstream endobj"
  add "5 0 obj << /Type /Page /Parent 2 0 R /Contents 6 0 R >> endobj"
  stream2="0.9 0.8 0.1 rg 10 10 268 100 re f 0.2 0.7 0.3 rg 60 150 160 220 re f"
  add "6 0 obj << /Length ${#stream2} >> stream
$stream2
endstream endobj"
  xref=$(wc -c < "$out")
  printf 'xref\n0 7\n0000000000 65535 f \n' >> "$out"
  for offset in $offsets; do printf '%010d 00000 n \n' "$offset" >> "$out"; done
  printf 'trailer << /Size 7 /Root 1 0 R >>\nstartxref\n%s\n%%%%EOF\n' "$xref" >> "$out"
}
pdf "$S/work/boxes.pdf"
"$INKDOT" chart -o "$S/work/chart.png" --size 300x450 >/dev/null

OPTIONS="PageSize=w288h432 Resolution=720x720dpi InkdotMethod=Screen InkdotBrightness=10"
# Prints $1 through the queue and leaves the device data in $S/work/$2.
print_job() {
  input=$1 name=$2
  shift 2
  args=""
  for option in $OPTIONS "$@"; do args="$args -o $option"; done
  rm -f "$S/out/job.ikd"
  # shellcheck disable=SC2086
  job=$(lp -d inkdot $args "$input") || fail "lp refused $input"
  job=$(echo "$job" | sed -n 's/^request id is \([^ ]*\).*/\1/p')
  tries=0
  until lpstat -W completed -o inkdot 2>/dev/null | grep -q "^$job "; do
    tries=$((tries + 1))
    [ $tries -lt 300 ] || fail "$input did not print within a minute"
    if lpstat -p inkdot 2>/dev/null | grep -q disabled; then
      fail "$input stopped the queue"
    fi
    sleep 0.2
  done
  [ -s "$S/out/job.ikd" ] || fail "$input printed nothing"
  cp "$S/out/job.ikd" "$S/work/$name"
}

# Splits the job's stream and compares each page with `inkdot print` on the
# raster cupsfilter makes from the same input and options.
check_job() {
  input=$1 name=$2 pages=$3 size=$4 method=$5
  shift 5
  dir="$S/work/$name.d"
  mkdir -p "$dir/stream" "$dir/raster" "$dir/print"
  got=$("$TOOL" split "$S/work/$name" "$dir/stream") || fail "$name: the stream does not decode"
  [ "$got" = "$pages" ] || fail "$name: $got pages, expected $pages"
  args=""
  for option in $OPTIONS "$@"; do args="$args -o $option"; done
  # shellcheck disable=SC2086
  cupsfilter -p "$PPD" -m application/vnd.cups-raster $args "$input" \
    >"$dir/page.ras" 2>"$dir/cupsfilter.log" || fail "$name: cupsfilter failed"
  "$TOOL" raster "$dir/page.ras" "$dir/raster" >"$dir/sizes" || fail "$name: raster unreadable"
  [ "$(wc -l < "$dir/sizes")" -eq "$pages" ] || fail "$name: cupsfilter made other pages"
  if [ -n "$size" ]; then
    if grep -v "^$size 720x720\$" "$dir/sizes"; then fail "$name: pages not $size at 720 dpi"; fi
  fi
  page=1
  while [ $page -le "$pages" ]; do
    grey=""
    image="$dir/raster/page-$page.ppm"
    [ -f "$image" ] || { image="$dir/raster/page-$page.pgm"; grey="--gray"; }
    # shellcheck disable=SC2086
    "$INKDOT" print -q -o "$dir/print" --resolution 720x720 --input-dpi 720 \
      --method "$method" --brightness 10 $grey "$image" || fail "$name: inkdot print failed"
    cmp -s "$dir/stream/page-$page.tif" "$dir/print/page-$page.tif" ||
      fail "$name: page $page differs from inkdot print of the same raster"
    "$INKDOT" preview -o "$dir/preview-$page.png" "$dir/stream/page-$page.tif" >/dev/null ||
      fail "$name: page $page does not decode as dot planes"
    page=$((page + 1))
  done
  echo "ok: $name, $pages page(s)${size:+ of $size}"
}

print_job "$S/work/boxes.pdf" boxes.ikd
check_job "$S/work/boxes.pdf" boxes.ikd 2 2880x4320 screen
print_job "$S/work/chart.png" chart.ikd ColorModel=Gray InkdotDepth=16
check_job "$S/work/chart.png" chart.ikd 1 2880x4320 screen ColorModel=Gray InkdotDepth=16
