#!/bin/sh
# The Debian package from end to end, as the CI machine (root on a fresh Debian 12) runs it:
# build it, check it with lintian and desktop-file-validate, install it with apt-get, and as an
# ordinary user whose home starts empty run the installed batch command, start the installed
# window from its menu entry and close it, and merge the samples that first start put into the
# user's program folder; then remove the package and check that nothing of it is left in /usr.
#
# Needs root (it installs a package and makes a user); without root it says so and stops. The
# package, the user and the temporary home are taken away again however the script ends.
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)

say() { echo "test-package.sh: $*"; }
fail() {
  echo "test-package.sh: FAILED: $*" >&2
  exit 1
}

if [ "$(id -u)" != 0 ]; then
  say "needs root to install the package and make a test user; skipped" >&2
  exit 0
fi
if [ "$(dpkg-query -W -f='${Status}' quillmerge 2>/dev/null)" = "install ok installed" ]; then
  fail "quillmerge is installed on this machine already; the test would replace and remove it"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-package.XXXXXX")
chmod 755 "$work"
home="$work/home"
user="qmpkg$$"
installed=no
made_user=no
gui_pids=""

cleanup() {
  status=$?
  for pid in $gui_pids; do kill "$pid" 2>/dev/null || true; done
  if [ "$installed" = yes ]; then
    apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=600 quillmerge >/dev/null 2>&1 ||
      dpkg --purge quillmerge >/dev/null 2>&1 || true
  fi
  if [ "$made_user" = yes ]; then userdel "$user" 2>/dev/null || true; fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The user's commands run with nothing of this shell's environment but what a login gives.
as_user() {
  runuser -u "$user" -- env -i HOME="$home" XDG_RUNTIME_DIR="$work/runtime" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 "$@"
}

# --- the package ------------------------------------------------------------------------------
say "building the package"
deb=$(sh scripts/package.sh | tail -n 1)
[ -f "$deb" ] || fail "scripts/package.sh made no package"
case $(basename "$deb") in
  quillmerge_*_"$(dpkg --print-architecture)".deb) ;;
  *) fail "unexpected package name $(basename "$deb")" ;;
esac
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$work/contents"
for f in /usr/bin/quillmerge /usr/bin/quillmerge-batch /usr/share/applications/quillmerge.desktop \
  /usr/share/icons/hicolor/scalable/apps/quillmerge.svg /usr/share/icons/hicolor/48x48/apps/quillmerge.png \
  /usr/share/man/man1/quillmerge-batch.1.gz /usr/share/quillmerge/Quillmerge.mdb \
  /usr/share/quillmerge/数据/员工信息.xls /usr/share/quillmerge/模板/劳动合同.doc \
  /usr/share/quillmerge/模板/工资条.doc /usr/share/quillmerge/vbs/closeword.sh \
  /usr/share/quillmerge/帮助及教程/帮助.mht /usr/share/quillmerge/帮助及教程/帮助.html \
  /usr/share/doc/quillmerge/copyright; do
  grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
done
if grep -q '/用户文档' "$work/contents"; then fail "the package ships a user documents folder"; fi

say "lintian"
lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
desktop-file-validate packaging/quillmerge.desktop || fail "the desktop entry is not valid"

# --- install ----------------------------------------------------------------------------------
say "installing $deb"
installed=yes
apt-get install -y -qq -o DPkg::Lock::Timeout=600 "$deb" >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log" >&2
  fail "apt-get install failed"
}
dpkg-query -L quillmerge >"$work/files"
desktop-file-validate /usr/share/applications/quillmerge.desktop || fail "the installed desktop entry is not valid"

useradd -M -s /bin/sh "$user"
made_user=yes
# The window's logs go to a folder the user can write, apart from the home that is checked.
mkdir "$home" "$work/runtime" "$work/logs"
chown "$user" "$home" "$work/runtime" "$work/logs"
chmod 700 "$work/runtime"
cp scripts/close-window.py "$work/"
chmod 755 "$work/close-window.py"

# --- the batch command, home still empty ------------------------------------------------------
say "quillmerge-batch --help and a save run as $user"
as_user quillmerge-batch --help >"$work/help.txt" || fail "quillmerge-batch --help failed"
grep -q -- '--workbook' "$work/help.txt" || fail "quillmerge-batch --help printed no usage"
as_user quillmerge-batch --workbook /usr/share/quillmerge/数据/员工信息.xls --sheet 员工 \
  --template /usr/share/quillmerge/模板/劳动合同.doc --from 1 --to 2 \
  --save "$home/合同" --name 劳动合同 >"$work/run1.txt" 2>&1 || {
  cat "$work/run1.txt" >&2
  fail "the batch save run failed"
}
grep -q '^2 documents saved' "$work/run1.txt" || fail "unexpected batch output: $(cat "$work/run1.txt")"
antiword -m UTF-8.txt "$home/合同/劳动合同1.doc" | grep -q 林晓峰 || fail "row 1 is not in 劳动合同1.doc"
antiword -m UTF-8.txt "$home/合同/劳动合同2.doc" | grep -q 陈雅婷 || fail "row 2 is not in 劳动合同2.doc"
[ ! -e "$home/.local/share/quillmerge" ] || fail "the batch command made a program folder in the home"

# --- the window, started as the menu entry says -----------------------------------------------
command=$(sed -n 's/^Exec=//p' /usr/share/applications/quillmerge.desktop | head -n 1 | sed 's/ *%[fFuUick]//g')
[ -n "$command" ] || fail "the desktop entry has no Exec line"
say "starting '$command' on a virtual display and closing its window"
cat >"$work/window.sh" <<EOF
$command >"$work/logs/window.log" 2>&1 &
pid=\$!
echo "\$pid" >"$work/logs/window.pid"
/usr/bin/python3 "$work/close-window.py" wait Quillmerge 60 || { echo "no window appeared"; exit 1; }
sleep 1
/usr/bin/python3 "$work/close-window.py" close Quillmerge || { echo "the window could not be asked to close"; exit 1; }
waited=0
while kill -0 "\$pid" 2>/dev/null && [ "\$waited" -lt 30 ]; do sleep 1; waited=\$((waited + 1)); done
if kill -0 "\$pid" 2>/dev/null; then echo "the program did not end after its window was closed"; exit 1; fi
wait "\$pid" || { echo "the program ended with status \$?"; exit 1; }
EOF
chmod 644 "$work/window.sh"
as_user xvfb-run -a -s "-screen 0 1280x800x24" sh "$work/window.sh" >"$work/window.out" 2>&1 || {
  gui_pids=$(cat "$work/logs/window.pid" 2>/dev/null || true)
  cat "$work/window.out" "$work/logs/window.log" >&2 2>/dev/null || true
  fail "the installed window did not start and close cleanly"
}

own="$home/.local/share/quillmerge"
[ -d "$own" ] || fail "the first start made no program folder in $own"
for f in 数据/员工信息.xls 模板/劳动合同.doc 模板/工作证.doc 模板/工资条.doc; do
  cmp -s "/usr/share/quillmerge/$f" "$own/$f" || fail "$own/$f is not the shipped $f"
done
[ -d "$own/用户文档" ] || fail "no 用户文档 folder in $own"
[ "$(readlink "$own/帮助及教程")" = /usr/share/quillmerge/帮助及教程 ] || fail "帮助及教程 does not lead to the shipped help"
[ "$(readlink "$own/vbs")" = /usr/share/quillmerge/vbs ] || fail "vbs does not lead to the shipped close script"
[ "$(stat -c %U "$own/Quillmerge.mdb")" = "$user" ] || fail "the settings store does not belong to the user"
# The first start writes the first-run row into the user's store, never into the shipped one.
folders=$(sqlite3 "$own/Quillmerge.mdb" "select ExcelPath || WordPath || UserDocPath from Init")
[ "$folders" = '\数据\\模板\\用户文档\' ] || fail "the user's settings store holds '$folders'"
[ "$(sqlite3 /usr/share/quillmerge/Quillmerge.mdb 'select count(*) from Init')" = 0 ] ||
  fail "the shipped settings store was written"

# --- a merge on the seeded samples ------------------------------------------------------------
say "a multi-row merge on the samples of $own"
as_user quillmerge-batch --workbook "$own/数据/员工信息.xls" --sheet 员工 --template "$own/模板/工资条.doc" \
  --multi-row --from 1 --to 6 --save "$own/用户文档/工资条" --name 工资条 >"$work/run2.txt" 2>&1 || {
  cat "$work/run2.txt" >&2
  fail "the merge on the seeded samples failed"
}
grep -q '^2 documents saved' "$work/run2.txt" || fail "unexpected batch output: $(cat "$work/run2.txt")"
antiword -m UTF-8.txt "$own/用户文档/工资条/工资条2.doc" | grep -q 赵丽华 || fail "row 4 is not in 工资条2.doc"

waited=0
while pgrep -u "$user" >/dev/null && [ "$waited" -lt 15 ]; do
  sleep 1
  waited=$((waited + 1))
done
if pgrep -u "$user" >/dev/null; then
  gui_pids=$(pgrep -u "$user" | tr '\n' ' ')
  fail "processes of the test user are still running: $(pgrep -a -u "$user" | tr '\n' ';')"
fi

# --- remove -----------------------------------------------------------------------------------
say "removing the package"
apt-get remove --purge -y -qq -o DPkg::Lock::Timeout=600 quillmerge >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log" >&2
  fail "apt-get remove failed"
}
installed=no
while IFS= read -r f; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then fail "$f is left after removing the package"; fi
done <"$work/files"
left=$(find /usr -path '*quillmerge*' 2>/dev/null | head -n 5)
[ -z "$left" ] || fail "left in /usr after removing the package: $left"
say "passed"
