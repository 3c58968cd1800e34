#!/bin/sh
# Makes the pictures of the tutorial pages and the help: renders the sample templates and
# photographs the program in its scenes on a virtual display.
#
#   sh scripts/screenshots.sh [program folder] [output folder]
#
# Defaults: build/program and resources/help/images. SCENES limits the work, for example
#   SCENES="main-window about" sh scripts/screenshots.sh
# Scenes: templates (template-contract.png, template-badge.png, template-payslip.png),
# main-window, about, page2-range, filter, picture-column, save-run, pdf-run, stopped-run, file-dialog,
# and for checking by eye: mode-hint, damaged-template, run-page-turned, preview-missing-picture
# (<scene>.png).
#
# The program takes its own pictures: started with QM_SCREENSHOT=<png path> and
# QM_SCREENSHOT_SCENE=<scene>, it sets the scene up, grabs its window into the PNG and exits.
# A program without that hook just runs; the main-window picture is then taken of the whole
# virtual screen (cropped to the window when it can be found), and the other scenes are skipped.
#
# The program runs from a copy of the program folder, so its runs (documents saved by the
# save-run scene, remembered folders) never change the build.
set -u

if [ "${1:-}" = "--inside-display" ]; then
  # Second stage, on the virtual display that xvfb-run opened: one scene.
  # Arguments: --inside-display <program exe> <scene> <png> <hook seconds> <fallback 0|1>
  exe=$2 scene=$3 png=$4 wait_hook=$5 fallback=$6
  QT_QPA_PLATFORM=xcb QM_SCREENSHOT="$png" QM_SCREENSHOT_SCENE="$scene" "$exe" >"$png.log" 2>&1 &
  pid=$!
  waited=0
  while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt "$wait_hook" ]; do
    sleep 1
    waited=$((waited + 1))
  done
  if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    status=$?
    if [ -s "$png" ]; then exit 0; fi
    echo "screenshots.sh: the program ended (status $status) without writing $scene" >&2
    sed 's/^/  | /' "$png.log" >&2
    exit 1
  fi
  # Still running after the wait: the hook is missing (or the scene hangs).
  if [ "$fallback" = 1 ] && [ ! -s "$png" ]; then
    geometry=""
    tries=0
    while [ -z "$geometry" ] && [ "$tries" -lt 30 ]; do
      geometry=$(xwininfo -root -tree 2>/dev/null | grep 'Quillmerge' | grep -v '1x1+' |
        sed -n 's/.*  \([0-9]*x[0-9]*\)+[-0-9]*+[-0-9]*  +\([-0-9]*\)+\([-0-9]*\).*/\1+\2+\3/p' |
        head -n 1)
      [ -n "$geometry" ] || { sleep 1; tries=$((tries + 1)); }
    done
    sleep 2 # let the window finish painting
    if [ -n "$geometry" ]; then
      import -window root -crop "$geometry" +repage "$png"
    else
      import -window root "$png"
    fi
    echo "screenshots.sh: no screenshot hook; took $scene from the screen (${geometry:-whole screen})" >&2
  fi
  kill "$pid" 2>/dev/null
  waited=0
  while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 20 ]; do
    sleep 1
    waited=$((waited + 1))
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ -s "$png" ] && exit 3 # taken from the screen: the program has no hook
  exit 2 # no hook and no fallback for this scene
fi

repo=$(cd "$(dirname "$0")/.." && pwd)
program=$(cd "${1:-$repo/build/program}" 2>/dev/null && pwd) || {
  echo "screenshots.sh: no program folder ${1:-$repo/build/program}; build first" >&2
  exit 1
}
out=${2:-$repo/resources/help/images}
scenes=${SCENES:-"templates main-window about page2-range filter picture-column preview save-run stopped-run file-dialog"}
hook_seconds=${QM_SCREENSHOT_WAIT:-120}

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qm-screenshots.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

: "${LANG:=C.UTF-8}"
export LANG
status=0
written=""

render_templates() {
  # Page 1 of each sample template, cut down to its upper part, as the office prints it.
  mkdir -p "$work/pdf"
  profile_url="file://$work/lo-profile"
  set -- "$program/模板/劳动合同.doc" "$program/模板/工作证.doc" "$program/模板/工资条.doc"
  for doc in "$@"; do
    [ -f "$doc" ] || { echo "screenshots.sh: $doc is missing" >&2; return 1; }
  done
  soffice "-env:UserInstallation=$profile_url" --headless --invisible --norestore \
    --convert-to pdf --outdir "$work/pdf" "$@" >/dev/null 2>&1
  for pair in 劳动合同:template-contract:53 工作证:template-badge:64 工资条:template-payslip:72; do
    stem=${pair%%:*} rest=${pair#*:}
    name=${rest%%:*} part=${rest#*:}
    pdf="$work/pdf/$stem.pdf"
    [ -s "$pdf" ] || { echo "screenshots.sh: $stem was not rendered" >&2; return 1; }
    pdftoppm -r 110 -f 1 -l 1 -png -singlefile "$pdf" "$work/pdf/$stem"
    convert "$work/pdf/$stem.png" -gravity North -crop "100%x${part}%+0+0" +repage \
      -trim +repage -bordercolor white -border 24 -bordercolor '#c8ccd2' -border 1 \
      "$out/$name.png"
    written="$written $name.png"
  done
}

hook=yes
for scene in $scenes; do
  case $scene in
    templates)
      render_templates || status=1
      continue ;;
    main-window | about | page2-range | filter | picture-column | preview | save-run | pdf-run | stopped-run | file-dialog | mode-hint | damaged-template | run-page-turned | preview-missing-picture) ;;
    *)
      echo "screenshots.sh: unknown scene $scene" >&2
      status=1
      continue ;;
  esac
  if [ ! -x "$work/program/quillmerge" ]; then
    cp -a "$program" "$work/program" || exit 1
    [ -x "$work/program/quillmerge" ] || {
      echo "screenshots.sh: $program holds no quillmerge; build it first" >&2
      exit 1
    }
  fi
  if [ "$hook" = no ] && [ "$scene" != main-window ]; then
    echo "screenshots.sh: skipped $scene (the program has no screenshot hook)" >&2
    status=1
    continue
  fi
  wait_hook=$hook_seconds
  [ "$hook" = no ] && wait_hook=15
  fallback=0
  [ "$scene" = main-window ] && fallback=1
  png="$work/$scene.png"
  rm -f "$png"
  # setsid: the program and the office it starts form one group that can be ended as a whole.
  setsid xvfb-run -a -s "-screen 0 1280x800x24" \
    sh "$0" --inside-display "$work/program/quillmerge" "$scene" "$png" "$wait_hook" "$fallback" &
  group=$!
  wait "$group"
  result=$?
  kill -TERM -- "-$group" 2>/dev/null
  if { [ "$result" = 0 ] || [ "$result" = 3 ]; } && [ -s "$png" ]; then
    [ "$result" = 3 ] && hook=no
    mv "$png" "$out/$scene.png"
    written="$written $scene.png"
  else
    [ "$result" = 2 ] && hook=no
    echo "screenshots.sh: no picture for $scene" >&2
    status=1
  fi
done

echo "screenshots.sh: wrote into $out:${written:- nothing}"
exit $status
