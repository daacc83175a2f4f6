#!/bin/bash
# The Debian package from installation to purge, with dpkg and the real
# maintainer scripts, in the private system copy of deb-session.sh: owners
# and modes, udev and AppArmor hooks, the USB queue found by the postinst,
# the programs desktop and service entries start, the bilingual guide with
# its CJK font (without it the Chinese shows as boxes), printing on both queues as
# an ordinary user, the job files read by another user, and what removal and
# purge leave behind. The checks are steps of one installation, in order.
set -uo pipefail
root=/opt/vorn/HRV5720ZWB
apparmor_local=/etc/apparmor.d/local/usr.sbin.cupsd
inspect=$HRV_BUILD_DIR/tools/pxl-inspect/pxl-inspect
user_data="$root/bin/usb/config/printerInfo $root/bin/usb/config/printerState $root/bin/net/config/printerInfo
  $root/bin/net/config/netIpInfo $root/bin/usb/print_log $root/bin/net/print_log"
failures=0
check() {  # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok - $what"; else echo "not ok - $what"; failures=$((failures + 1)); fi
}
is() { [ "$1" = "$2" ] || { printf '  got:      %s\n  expected: %s\n' "$1" "$2"; false; }; }
has() { grep -qF -- "$2" <<< "$1" || { printf '  %s\n  lacks: %s\n' "$1" "$2"; false; }; }
line() { grep -qxF -- "$2" <<< "$1" || { printf '  %s\n  lacks the line: %s\n' "$1" "$2"; false; }; }
mode() { stat -c '%F %U:%G %a' "$1" 2>&1; }
as() { runuser -u "$1" -- sh -c "$2" 2>/dev/null; }
profile_before=$(cat "$apparmor_local" 2>/dev/null)

# Where cupsd's AppArmor profile is disabled, its local include stays as it was.
mkdir -p /etc/apparmor.d/disable
ln -s /etc/apparmor.d/usr.sbin.cupsd /etc/apparmor.d/disable/usr.sbin.cupsd
check "dpkg installs the package" dpkg -i "$HRV_DEB"
check "AppArmor disabled: its local file untouched" is "$(cat "$apparmor_local" 2>/dev/null)" "$profile_before"
check "purge leaves nothing under /opt/vorn" bash -c 'dpkg --purge hrv5720zwb && test ! -e /opt/vorn'
rm /etc/apparmor.d/disable/usr.sbin.cupsd

check "dpkg installs the package again" dpkg -i "$HRV_DEB"
while read -r path want; do check "$path: $want" is "$(mode "$path")" "$want"; done <<EOF
$root/bin/usb/config directory lp:lp 755
$root/bin/net/config directory lp:lp 755
$root/bin/usb/config/printerInfo regular empty file lp:lp 644
$root/bin/usb/config/printerState regular empty file lp:lp 644
$root/bin/net/config/printerInfo regular empty file lp:lp 644
$root/bin/net/config/netIpInfo regular empty file lp:lpadmin 664
$root/bin/usb/print_log regular empty file lp:lp 644
$root/bin/net/print_log regular empty file lp:lp 644
/lib/udev/rules.d/70-hrv5720zwb.rules regular file root:root 644
/lib/systemd/system/hrv5720zwb-printer-app.service regular file root:root 644
EOF
# Where Debian 12 packages put them (/lib is /usr/lib only on merged-/usr systems).
for shipped in /lib/udev/rules.d/70-hrv5720zwb.rules /lib/systemd/system/hrv5720zwb-printer-app.service; do
  check "the package ships $shipped" line "$(dpkg -L hrv5720zwb)" "$shipped"
done
for link in "/usr/lib/cups/filter/pstopxl_hrv5720zwb $root/bin/pstopxl_hrv5720zwb" \
  "/usr/lib/cups/filter/pstopxl_hrv5720zwb-net $root/bin/pstopxl_hrv5720zwb-net" "$root/bin/usb/hrv5720zwb/bin/gs /usr/bin/gs"; do
  set -- $link
  check "$1 leads to $2" is "$(readlink "$1")" "$2"
done
check "nothing of the suite is world-writable" is "$(find /opt/vorn /usr/share/cups/model /lib/udev/rules.d \
  /etc/xdg/autostart /usr/share/applications /usr/share/doc/hrv5720zwb ! -type l -perm -o+w)" ""
for entry in /etc/xdg/autostart/hrv5720zwb-*.desktop /usr/share/applications/hrv5720zwb-*.desktop \
  /lib/systemd/system/hrv5720zwb-printer-app.service; do
  program=$(sed -n 's/^Exec\(Start\)\?=\([^ ]*\).*/\2/p' "$entry") dir=$(sed -n 's/^Path=//p' "$entry")
  check "$entry starts $program${dir:+ in $dir}" test -x "$program" -a -d "${dir:-/}"
done

guide=$(pdftotext -enc UTF-8 "$root/doc/guide.pdf" -)
for part in 安装 Installing 安全打印 "Secure print" 状态监视器 "The status monitors" 网络设置 "Network setup" \
  "lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd"; do check "the guide tells: $part" has "$guide" "$part"; done
check "the guide embeds its CJK font" bash -c "pdffonts $root/doc/guide.pdf | grep WenQuanYi | grep -q ' yes '"
check "CUPS lists both PPDs" bash -c 'lpinfo -m | grep -q "^HRV5720ZWB.ppd " && lpinfo -m | grep -q "^HRV5720ZWB-net.ppd "'
check "the postinst added the USB queue at the HRV5720ZWB, not the other printer" \
  is "$(lpstat -v HRV5720ZWB)" "device for HRV5720ZWB: usb://Vorn/HRV5720ZWB?serial=HRVSIM0001"
check "add-usb-queue run again keeps the queue" "$root/bin/add-usb-queue"
udev=$(cat "$HRV_UDEVADM_LOG")
check "udev rules reloaded" has "$udev" "control --reload-rules"
check "the attached printer's device given its rights" has "$udev" "--attr-match=idVendor=0efd --attr-match=idProduct=0092"
check "the rule gives the seat's user the printer" has "$(cat /lib/udev/rules.d/70-hrv5720zwb.rules)" \
  'ATTR{idVendor}=="0efd", ATTR{idProduct}=="0092", TAG+="uaccess"'
check "a reinstall" dpkg -i "$HRV_DEB"
check "cupsd's local profile includes the filters' rules once" \
  is "$(grep -cxF "#include \"$root/share/apparmor/usr.sbin.cupsd\"" "$apparmor_local")" 1
rules=$(cat "$root/share/apparmor/usr.sbin.cupsd")
for file in $root/bin/usb/config/printerInfo $root/bin/usb/config/printerState $root/bin/net/config/printerInfo \
  $root/bin/usb/print_log $root/bin/net/print_log /var/tmp/qdw.prn; do
  check "the filters may write $file" has "$rules" "  $file rw,"
done
[ -x /sbin/apparmor_parser ] && check "the profile parses" /sbin/apparmor_parser -Q -K /etc/apparmor.d/usr.sbin.cupsd

# alice prints on both queues; the printer gets both jobs whole.
check "the network queue is added" lpadmin -p HRV5720ZWB-net -m HRV5720ZWB-net.ppd -v socket://127.0.0.1:9100 -E
captured() { test "$(ls "$HRV_SIM_DIR"/job-*.prn 2>/dev/null | wc -l)" -ge "$1"; }
for queue in HRV5720ZWB HRV5720ZWB-net; do
  n=$(ls "$HRV_SIM_DIR"/job-*.prn 2>/dev/null | wc -l)
  check "alice prints on $queue" as alice "lp -d $queue $HRV_SOURCE_DIR/samples/sample.ps"
  for _ in $(seq 1800); do captured $((n + 1)) && [ -z "$(lpstat -o)" ] && break; sleep 0.1; done
  locks=$([ $queue = HRV5720ZWB ] && echo 0 || echo 1)
  check "$queue's job: 3 pages, $locks lock requests, the trailer" \
    is "$("$inspect" --summary "$(ls "$HRV_SIM_DIR"/job-*.prn | tail -1)" | grep -E '^(lock.requests|pages|end|error)=' | tr '\n' ' ')" \
    "lock.requests=$locks pages=3 end=trailer error=none "
done

# bob reads the job files, may not write them, and cannot read the debug copy.
info="resolution:600dpi;
papersize:A4;
inputslot:AUTO;
mediatype:PLAIN;
duplex:None;"
check "bob reads the USB job settings" is "$(as bob "cat $root/bin/usb/config/printerInfo")" "$info"
check "bob reads the network job settings" is "$(as bob "cat $root/bin/net/config/printerInfo")" "$info"
check "bob reads the USB printer state" is "$(as bob "cat $root/bin/usb/config/printerState")" "CODE=10001"
for log in "usb HRV5720ZWB" "net HRV5720ZWB-net"; do
  set -- $log
  text=$(as bob "cat $root/bin/$1/print_log")
  for l in "打印机名称：$2" "用户名：alice" "打印任务完成"; do check "bob reads the $1 job log: $l" line "$text" "$l"; done
done
for f in $user_data; do
  [ "${f##*/}" = netIpInfo ] || check "bob may not write $f, still lp:lp 644" bash -c \
    "! runuser -u bob -- sh -c 'echo x >> $f' 2>/dev/null && test \"\$(stat -c '%U:%G %a' $f)\" = 'lp:lp 644'"
done
check "the debug copy holds the PIN: lp's only" is "$(mode /var/tmp/qdw.prn)" "regular file lp:lp 600"
check "bob cannot read the debug copy" bash -c "! runuser -u bob -- cat /var/tmp/qdw.prn >/dev/null 2>&1"

# Removal leaves the user data, the conffiles (whose programs are gone) and the queues.
owned=$(dpkg -L hrv5720zwb | while read -r p; do [ -d "$p" ] || echo "$p"; done)
kept=$(for f in $user_data; do md5sum "$f"; done)
udev_calls=$(wc -l < "$HRV_UDEVADM_LOG")
check "dpkg removes the package" dpkg --remove hrv5720zwb
check "of what it owned only the autostart entries remain" \
  is "$(for p in $owned; do [ -e "$p" ] || [ -L "$p" ] && echo "$p"; done)" \
  "$(grep '^/etc/xdg/autostart/' <<< "$owned")"
check "the autostart entries start nothing" bash -c "! grep -h '^TryExec=' /etc/xdg/autostart/hrv5720zwb-*.desktop |
  sed 's/^TryExec=//' | xargs -r ls 2>/dev/null | grep -q ."
check "the user data is kept as it was" is "$(md5sum $user_data 2>&1)" "$kept"
check "under /opt only the user data" is "$(find /opt/vorn -type f | sort)" "$(printf '%s\n' $user_data | sort)"
check "cupsd's local profile as before" is "$(cat "$apparmor_local" 2>/dev/null)" "$profile_before"
check "udev rules reloaded again" test "$(wc -l < "$HRV_UDEVADM_LOG")" -gt "$udev_calls"
check "the queues stay" lpstat -v HRV5720ZWB HRV5720ZWB-net

check "dpkg purges the package" dpkg --purge hrv5720zwb
check "purge deletes the user data and the autostart entries" test ! -e /opt/vorn -a ! -e \
  /etc/xdg/autostart/hrv5720zwb-statusmon.desktop -a ! -e /etc/xdg/autostart/hrv5720zwb-statusmon-net.desktop
check "purge deletes the queues" bash -c '! lpstat -v HRV5720ZWB 2>/dev/null && ! lpstat -v HRV5720ZWB-net 2>/dev/null'
check "the package is gone" bash -c '! dpkg --status hrv5720zwb >/dev/null 2>&1'
echo "package lifecycle: $failures failures"
[ "$failures" = 0 ]
