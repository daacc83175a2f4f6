#!/bin/bash
# The printer application as its users meet it, inside the namespace of
# tests/e2e/cups-session.sh (loopback only; cupsd and the printer simulator on
# 127.0.0.1:9100/9101 running): the installed application on a loopback port
# with a printer at the simulator; CUPS's IPP Everywhere test, compared with
# LPrint on the same PAPPL; PWG raster, PDF and JPEG jobs by ipptool and a PDF
# through a cupsd queue made with "-m everywhere", read back from the
# simulator; a document Ghostscript fails on, and a job canceled while
# Ghostscript renders it; the printer's status (a cover open, a toner low) in
# the IPP state; a monitor stand-in on UDP port 9102 that must keep its own
# status answers; and a screenshot of the printer's web page.
#   app-session.sh <source-dir> <build-dir> <artifact-dir>
set -uo pipefail
source=$1 build=$2 artifacts=$3
app=/opt/vorn/HRV5720ZWB/bin/hrv5720zwb-printer-app
# What PAPPL itself keeps until exit is no leak of ours (sanitizer build).
export LSAN_OPTIONS="suppressions=$source/tests/printer-app/lsan-pappl.supp"
inspect=$build/tools/pxl-inspect/pxl-inspect
work=$HRV_STAGE/app
rm -rf "$work"; mkdir -p "$work/spool" "$work/lprint" "$artifacts"
uri=ipp://127.0.0.1:8631/ipp/print/HRV5720ZWB
failures=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok - $what"; else echo "not ok - $what"; failures=$((failures + 1)); fi
}
waitfor() {  # seconds, command
  local n=$(($1 * 10)); shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}
attr() { ipptool -t -v "$uri" get-printer-attributes.test | grep -E "^ +$1 "; }
idle() { attr printer-state | grep -q idle; }
simjobs() { ls "$HRV_SIM_DIR"/job-*.prn 2>/dev/null | wc -l; }
newjob() { test "$(simjobs)" -gt "$1"; }
latest() { ls "$HRV_SIM_DIR"/job-*.prn | tail -1; }
state_is() { test "$("$app" jobs -d HRV5720ZWB | awk -v id="$1" '$1 == id { print $2 }')" = "$2"; }
expect_job() {  # what, capture, lines the inspector's summary must hold
  local what=$1 summary; summary=$("$inspect" --summary "$2"); shift 2
  for line in "$@"; do check "$what: $line" grep -qxF "$line" <<< "$summary"; done
}
submit() {  # document: job id, once the printer got the job
  local before; before=$(simjobs); waitfor 60 idle
  "$app" submit -d HRV5720ZWB "$1" | sed 's/.*-//'
  waitfor 60 newjob "$before"
}
export -f attr idle
export uri

"$app" server -o server-port=8631 -o listen-hostname=127.0.0.1 -o log-file="$work/app.log" -o log-level=debug \
  -o spool-directory="$work/spool" -o state-file="$work/state" -o server-options=no-tls &
app_pid=$!
HOME=$work/lprint lprint server -o server-port=8632 -o log-file="$work/lprint/log" \
  -o spool-directory="$work/lprint" &
lprint_pid=$!
trap 'kill $app_pid $lprint_pid 2>/dev/null; wait 2>/dev/null' EXIT
check "the application listens on its loopback port" waitfor 20 bash -c '</dev/tcp/127.0.0.1/8631'
check "a printer is added at the simulator" "$app" add -d HRV5720ZWB -m hrv5720zwb -v socket://127.0.0.1:9100
waitfor 20 bash -c '</dev/tcp/127.0.0.1/8632'
HOME=$work/lprint lprint add -d label -m zpl_4inch-203dpi-dt -v file:///dev/null

# IPP Everywhere: what fails for us must be what PAPPL 1.3 cannot pass, and
# fail for LPrint on the same PAPPL too.
sleep 2  # printer-up-time counts whole seconds
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r300 -dcupsColorSpace=19 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a4 -sOutputFile="$work/doc.pwg" "$source/samples/sample.ps"
failed() { (cd "$work" && ipptool -V 2.0 -t -f "$work/doc.pwg" "$1" ipp-everywhere.test) |
  sed -n 's/^ *EXPECTED: \([-a-z0-9]*\).*/\1/p' | sort -u; }
failed "$uri" > "$work/ours.failed"
failed ipp://127.0.0.1:8632/ipp/print/label > "$work/lprint.failed"
printf '%s\n' identify-actions-default identify-actions-supported overrides-supported \
  preferred-attributes-supported print-rendering-intent-default print-rendering-intent-supported > "$work/pappl.failed"
check "IPP Everywhere: only PAPPL 1.3's own failures ($(tr '\n' ' ' < "$work/ours.failed"))" \
  diff "$work/pappl.failed" "$work/ours.failed"
check "IPP Everywhere: LPrint fails each of them too" test -z "$(comm -23 "$work/pappl.failed" "$work/lprint.failed")"
check "media-supported: the 19 sizes of the PPD" test "$(attr media-supported | tr -cd ',' | wc -c)" -eq 18
check "PDF and PostScript are taken" bash -c \
  'attr document-format-supported | grep "application/pdf" | grep -q "application/postscript"'

# PWG raster, PDF and JPEG documents by ipptool, two-sided, two copies,
# gray, from tray 1, arrive in our envelope.
cat > "$work/print.test" <<'EOF'
{ OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name tester
  ATTR name job-name "$format test"
  ATTR mimeMediaType document-format $format
  GROUP job-attributes-tag
  ATTR keyword sides two-sided-long-edge
  ATTR integer copies 2
  ATTR keyword print-color-mode monochrome
  ATTR collection media-col { MEMBER keyword media-size-name $media MEMBER keyword media-source tray-1 }
  ATTR rangeOfInteger page-ranges $pages
  FILE $filename
  STATUS successful-ok }
EOF
ipp_print() {  # document, format, media, page-ranges
  local before; before=$(simjobs); waitfor 60 idle
  ipptool -q -f "$1" -d format="$2" -d media="$3" -d pages="$4" "$uri" "$work/print.test" &&
    waitfor 60 newjob "$before"
}
check "ipptool prints a PWG raster document" ipp_print "$work/doc.pwg" image/pwg-raster iso_a5_148x210mm 1-9
cp "$(latest)" "$artifacts/raster-job.prn"
expect_job "raster job" "$(latest)" "lock.requests=1" 'pjl.header.3=@PJL SET USERNAME="tester"' \
  'pjl.header.4=@PJL SET JOBNAME="image/pwg-raster test"' pjl.enter_language=yes pages=3 page1.media=A5 \
  page1.source=upper page2.duplex=duplex-vertical page1.copies=2 page1.colorspace=Gray end=trailer error=none
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sOutputFile="$work/doc.pdf" "$source/samples/sample.ps"
check "ipptool prints pages 2 and 3 of a PDF document" ipp_print "$work/doc.pdf" application/pdf iso_a4_210x297mm 2-3
cp "$(latest)" "$artifacts/pdf-job.prn"
expect_job "PDF job" "$(latest)" "lock.requests=1" 'pjl.header.4=@PJL SET JOBNAME="application/pdf test"' \
  pjl.enter_language=yes pages=2 page1.media=A4 page1.source=upper page2.duplex=duplex-vertical page1.copies=2 \
  page1.colorspace=Gray end=trailer error=none

gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=jpeg -r50 -dLastPage=1 -sOutputFile="$work/doc.jpg" "$source/samples/sample.ps"
check "ipptool prints a JPEG image" ipp_print "$work/doc.jpg" image/jpeg iso_a4_210x297mm 1-9
expect_job "JPEG job, whose copies PAPPL makes" "$(latest)" pages=2 page1.copies=1 page2.duplex=simplex end=trailer

# Jobs that fail on the way end with the cancel sequence: a raster page the
# encoder does not take (CMYK), a PDF Ghostscript cannot read.
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r150 -dcupsColorSpace=6 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a4 -sOutputFile="$work/cmyk.pwg" "$source/samples/sample.ps"
check "a CMYK raster job reaches the simulator" ipp_print "$work/cmyk.pwg" image/pwg-raster iso_a4_210x297mm 1-9
expect_job "CMYK job" "$(latest)" end=cancel
printf '%%PDF-1.4\nnot a PDF after all\n' > "$work/broken.pdf"
id=$(submit "$work/broken.pdf")
check "a broken PDF: the job is aborted" waitfor 10 state_is "$id" aborted
expect_job "broken PDF job" "$(latest)" pages=0 end=cancel

# A job canceled while Ghostscript renders it (PostScript that never ends):
# Ghostscript holds none of the application's sockets and ends at once.
before=$(simjobs)
printf '%%!PS\n{ 1 pop } loop\n' > "$work/endless.ps"
id=$("$app" submit -d HRV5720ZWB "$work/endless.ps" | sed 's/.*-//')
check "Ghostscript renders the endless document" waitfor 30 pgrep -P $app_pid
gs_pid=$(pgrep -P $app_pid)
check "Ghostscript holds no socket of the application" test -z "$(find /proc/"$gs_pid"/fd -lname 'socket:*')"
"$app" cancel -d HRV5720ZWB
check "the cancel ends Ghostscript at once" waitfor 5 test ! -e /proc/"$gs_pid"
check "the canceled job is canceled" waitfor 10 state_is "$id" canceled
check "the canceled job reaches the simulator" waitfor 10 newjob "$before"
expect_job "canceled job" "$(latest)" pages=0 end=cancel

# A multi-page PDF through cupsd and an "-m everywhere" queue.
before=$(simjobs)
check "cupsd makes an everywhere queue for the application" lpadmin -p HRV-IPP -E -v "$uri" -m everywhere
check "lp prints the PDF" lp -d HRV-IPP "$work/doc.pdf"
check "the PDF job reaches the simulator" waitfor 120 newjob "$before"
expect_job "cupsd's PDF job" "$(latest)" pages=3 end=trailer

# The printer's status in the IPP state. The application sets door-open and
# cover-open for an open cover; PAPPL 1.3 writes no door-open into
# printer-state-reasons (its reason keywords end at toner-low).
echo 40021 > "$HRV_SIM_DIR/status-script"
check "a cover open shows as cover-open" waitfor 10 bash -c 'attr printer-state-reasons | grep -q cover-open'
echo 10211 > "$HRV_SIM_DIR/status-script"
check "magenta toner low shows in printer-supply" waitfor 10 bash -c \
  'attr printer-supply | grep -q "level=10;colorantname=magenta"'
check "the cover closed, cover-open goes, toner-low comes" bash -c \
  'attr printer-state-reasons | grep -q "= toner-low$"'
check "four toners in printer-supply" test "$(attr printer-supply-description | tr -cd ',' | wc -c)" -eq 3

# statusmon-net keeps UDP port 9102: a stand-in there asks five times while
# the application asks too, and gets exactly its five answers.
python3 - > "$work/standin.out" <<'EOF' &
import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # as Qt binds statusmon-net's socket
s.bind(("0.0.0.0", 9102))
for _ in range(5): s.sendto(b"GetStatus;", ("127.0.0.1", 9101)); time.sleep(0.6)
s.settimeout(2); got = 0
try:
    while True: s.recv(2048); got += 1
except socket.timeout: print(got)
EOF
standin=$!
for _ in 1 2 3 4 5; do attr printer-state >/dev/null; sleep 0.6; done
wait $standin
check "the stand-in on port 9102 got its 5 answers, no more" test "$(cat "$work/standin.out")" = 5
check "the application asked from a port of its own" \
  bash -c "grep -E '^status 127.0.0.1:[0-9]+ ' '$HRV_SIM_DIR/log' | grep -v ':9102 ' | grep -q ."

# The web interface's printer page.
check "Chromium takes a screenshot of the printer page" chromium --headless --no-sandbox --disable-gpu \
  --disable-quic --no-first-run --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/chromium" --window-size=1280,1024 --screenshot="$artifacts/printer-page.png" \
  http://127.0.0.1:8631/HRV5720ZWB/ 2>"$work/chromium.log"
check "the screenshot is a picture" test "$(head -c 4 "$artifacts/printer-page.png" | tail -c 3)" = PNG

cp "$work/app.log" "$artifacts/app.log"
echo "printer-app: $failures failures"
[ "$failures" = 0 ]
