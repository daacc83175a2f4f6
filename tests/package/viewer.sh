#!/bin/bash
# pdfReader, the viewer the setup tool's launcher starts with the user guide:
# which program it picks, the arguments it gives, and that it returns only
# when the viewer has ended. Each case runs in a scratch desktop with its own
# PATH and data folders, where a viewer stand-in records its arguments, takes
# its time, marks its end and exits 3.
#   viewer.sh <source-dir>
set -u
source=$1 failures=0
case_() {  # description, default application, desktop entry path, its text, stand-in on PATH as, document, expected
  local dir got
  dir=$(mktemp -d)
  mkdir -p "$dir/bin" "$dir/viewer dir" "$(dirname "$dir/${3:-x}")"
  printf '%%PDF-1.4\n' > "$dir/the guide.pdf"
  printf '#!/bin/sh\nfor a in "$@"; do printf "%%s," "$a"; done > "%s"\nsleep 1\n: > "%s"\nexit 3\n' \
    "$dir/args" "$dir/ended" > "$dir/viewer dir/view"
  printf '#!/bin/sh\n[ "$*" = "query default application/pdf" ] && echo "%s"\n' "$2" > "$dir/bin/xdg-mime"
  chmod 755 "$dir/viewer dir/view" "$dir/bin/xdg-mime"
  [ -z "$3" ] || printf '%s' "${4//VIEWER/$dir/viewer dir/view}" > "$dir/$3"
  [ -z "$5" ] || ln -s "$dir/viewer dir/view" "$dir/bin/$5"
  env -i PATH="$dir/bin:/usr/bin:/bin" HOME="$dir" XDG_DATA_HOME="$dir/home-data" \
    XDG_DATA_DIRS="$dir/none:$dir/system-data" "$source/doc/pdfReader" ${6:+"${6//DIR/$dir}"} > /dev/null 2>&1
  got="$? $(cat "$dir/args" 2>/dev/null)$([ -e "$dir/ended" ] && echo " ended")"
  got=${got//"$dir/the guide.pdf"/DOC}
  if [ "$got" = "$7" ]; then echo "ok - $1"; else echo "not ok - $1: $got"; failures=$((failures + 1)); fi
  rm -rf "$dir"
}
case_ "the default application, from the user's data, with its field codes" test-viewer.desktop \
  home-data/applications/test-viewer.desktop $'[Desktop Action New]\nExec=/bin/false\n\n[Desktop Entry]
Type=Application\nName=Test Viewer\nExec="VIEWER" --zoom=100%% %U --name %c %i\n' "" "DIR/the guide.pdf" \
  "3 --zoom=100%,DOC,--name,Test Viewer, ended"
case_ "an entry without field code from the system's data in a '-' subfolder gets the document last" \
  vendor-viewer.desktop system-data/applications/vendor/viewer.desktop \
  $'[Desktop Entry]\nName=V\nExec="VIEWER"\\s--single\n' "" "DIR/the guide.pdf" "3 --single,DOC, ended"
case_ "without a default, the first common viewer" "" "" "" okular "DIR/the guide.pdf" "3 DOC, ended"
case_ "a missing document starts nothing" test-viewer.desktop home-data/applications/test-viewer.desktop \
  $'[Desktop Entry]\nExec="VIEWER" %f\n' "" "DIR/absent.pdf" "1 "
case_ "no argument starts nothing" "" "" "" okular "" "2 "
echo "pdfReader: $failures failures"
[ "$failures" = 0 ]
