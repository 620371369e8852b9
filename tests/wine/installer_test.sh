#!/usr/bin/env bash
# The Windows installer under Wine, in a Wine prefix of its own that starts empty:
#  - silent install for the whole machine (/S /AllUsers /AddToPath) into Program Files: the
#    files, the Start-menu entry, the uninstall entry with publisher, version, size and icon,
#    the folder on the machine's Path, also after installing once more over it; the installed
#    kstbell.exe --simulate paints its window (checked as the zip's is) and the installed
#    kstbellctl.exe --version answers;
#  - silent install for the user alone (/S /CurrentUser) into a folder given with /D= that
#    already holds a file of the user's, with /AddToPath on a Path too long to change safely;
#  - each removed with the silent uninstall command it registered: nothing of it is left in
#    its folder, the Start menu or the registry, the Path is as it was before, and the user's
#    own file and the long Path are still there.
# Usage: installer_test.sh SETUP_EXE VERSION OUTPUT_FOLDER   (on an X display: run it under
# xvfb-run; pictures and logs go to OUTPUT_FOLDER). Exit status 0 passed, 1 failed.
set -uo pipefail

if [ $# -ne 3 ]; then
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
setup=$(readlink -f "$1")
version=$2
out=$(readlink -f "$3")
here=$(cd "$(dirname "$0")" && pwd)
check_window=$here/../../cross/windows/check-window.py
readonly KEY='Software\Microsoft\Windows\CurrentVersion\Uninstall\kstbell'
readonly MACHINE_ENV='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'

say() { echo "installer test: $*"; }
fail() {
  echo "installer test: FAILED: $*" >&2
  exit 1
}

work=$(mktemp -d /tmp/kstbell-installer.XXXXXX) || fail "no temporary folder"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: Wine would offer to download them.
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$out"

# Runs a Windows program and waits until every process of the prefix has ended (the
# uninstaller goes on in a copy of itself). Output to $out/installer-NAME.log.
run() {
  local name=$1 status=0
  shift
  timeout 120 wine "$@" >"$out/installer-$name.log" 2>&1 || status=$?
  timeout 60 wineserver -w
  return $status
}

# A value from the registry, as reg.exe prints it, or nothing.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p" | head -n 1
}
reg_key_exists() { wine reg query "$1" >/dev/null 2>&1; }
unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }

started=$SECONDS
timeout 300 wineboot --init >"$out/installer-wineboot.log" 2>&1 && timeout 60 wineserver -w ||
  fail "could not create the Wine prefix"
for font in /usr/share/wine/fonts/*.ttf; do
  cp -n "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
say "fresh Wine prefix in $((SECONDS - started)) s"
path_before=$(reg_value "$MACHINE_ENV" Path)
[ -n "$path_before" ] || fail "the new prefix has no machine Path"

# ---- for the whole machine ---------------------------------------------------------------------
started=$SECONDS
run install-machine "$setup" /S /AllUsers /AddToPath || fail "the silent install failed"
say "silent install for the machine in $((SECONDS - started)) s"
folder=$(reg_value "HKLM\\$KEY" InstallLocation)
programs=$(unix_path 'C:\Program Files')
[ "$(unix_path "$folder")" = "$programs/kstbell" ] ||
  fail "installed into '$folder', not Program Files\\kstbell"
dir=$programs/kstbell
for file in kstbell.exe kstbellctl.exe kstbell-sim.exe uninstall.exe platforms/qwindows.dll; do
  [ -f "$dir/$file" ] || fail "no $file in $dir"
done
[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/kstbell.lnk" ] ||
  fail "no Start-menu entry for all users"
expect_value() {
  local got
  got=$(reg_value "HKLM\\$KEY" "$1")
  [ "$got" = "$2" ] || fail "uninstall entry $1 is '$got', not '$2'"
}
expect_value DisplayName kstbell
expect_value DisplayVersion "$version"
expect_value Publisher "The kstbell developers"
expect_value DisplayIcon "$folder\\kstbell.exe,0"
size_kib=$(($(reg_value "HKLM\\$KEY" EstimatedSize)))
actual_kib=$(du -sk --apparent-size "$dir" | cut -f1)
# The size counts whole KiB per file; du and the installer differ by rounding only.
[ "$size_kib" -ge $((actual_kib * 9 / 10)) ] && [ "$size_kib" -le $((actual_kib * 11 / 10)) ] ||
  fail "EstimatedSize $size_kib KiB, but the folder holds $actual_kib KiB"
path_after=$(reg_value "$MACHINE_ENV" Path)
[ "$path_after" = "$path_before;$folder" ] ||
  fail "the machine Path is '$path_after', not the old one with '$folder' added"
say "installed in $folder: files, Start menu, uninstall entry ($size_kib KiB), Path"

# Installed again over itself, as an update would be: the old installation goes first, so the
# Path gets no second entry and every file is there once more.
run reinstall-machine "$setup" /S /AllUsers /AddToPath || fail "installing again failed"
[ "$(reg_value "$MACHINE_ENV" Path)" = "$path_before;$folder" ] ||
  fail "after installing again the machine Path is '$(reg_value "$MACHINE_ENV" Path)'"
[ -f "$dir/kstbell.exe" ] && [ -f "$dir/uninstall.exe" ] && reg_key_exists "HKLM\\$KEY" ||
  fail "installing again left the installation incomplete"
say "installed again over itself: one Path entry, every file and the uninstall entry there"

# The installed programs.
(cd "$work" && run ctl-version "$dir/kstbellctl.exe" --version) ||
  fail "kstbellctl.exe --version failed: $(tail -3 "$out/installer-ctl-version.log")"
grep -q "^kstbellctl $version" "$out/installer-ctl-version.log" ||
  fail "kstbellctl.exe --version said: $(head -1 "$out/installer-ctl-version.log")"
say "$(head -1 "$out/installer-ctl-version.log" | tr -d '\r') (from $folder)"
(cd "$work" && KSTBELL_SCREENSHOT=installed.png KSTBELL_SCREENSHOT_DELAY_MS=4000 \
  run simulate "$dir/kstbell.exe" --simulate) ||
  fail "the installed kstbell.exe --simulate failed: $(tail -5 "$out/installer-simulate.log")"
/usr/bin/python3 "$check_window" "$work/installed.png" 386 248 \
  "title: KST-Bell-QZ V1.0(20201021) [simulated device]" "SimulatedMarker: simulated device" \
  "Label4: Get Device Linked!!" "Panel0: Dev MAC: 02:4B:7A:3C:60:01" | sed 's/^/  /'
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "the installed program's window is not as the zip's"
cp "$work/installed.png" "$out/wine-installed.png"

# Removed the way a deployment tool would: the registered silent uninstall command.
quiet=$(reg_value "HKLM\\$KEY" QuietUninstallString)
[ "$quiet" = "\"$folder\\uninstall.exe\" /S" ] || fail "QuietUninstallString is '$quiet'"
run uninstall-machine "$dir/uninstall.exe" /S || fail "the silent uninstall failed"
[ ! -e "$dir" ] || fail "left behind in Program Files: $(cd "$dir" && find . | head -5 | tr '\n' ' ')"
! reg_key_exists "HKLM\\$KEY" || fail "the uninstall entry is still in the registry"
[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/kstbell.lnk" ] ||
  fail "the Start-menu entry is still there"
[ "$(reg_value "$MACHINE_ENV" Path)" = "$path_before" ] ||
  fail "the machine Path is '$(reg_value "$MACHINE_ENV" Path)' after the uninstall," \
    "'$path_before' before the install"
say "silent uninstall: nothing left in Program Files, the registry or the Start menu; Path restored"

# ---- for the user alone, into a folder of the user's choice -------------------------------------
user_folder='C:\users\Public\kst tools'
user_dir=$(unix_path "$user_folder")
mkdir -p "$user_dir"
echo "the user's notes" >"$user_dir/notes.txt"
# A Path longer than the installer's strings: it must stay exactly as it is, since writing back
# a cut-off value would lose entries.
long_path="C:\\tools;$(printf 'D:\\toolbox\\%04d;' $(seq 1 100))C:\\end"
wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null 2>&1 ||
  fail "cannot set the user's Path"
[ "$(reg_value 'HKCU\Environment' Path)" = "$long_path" ] || fail "the user's Path did not take"
# /D= takes the rest of the command line as it is, spaces and all, unquoted: through cmd, as an
# administrator would type it.
run install-user cmd /c "$(winepath -w "$setup" | tr -d '\r') /S /CurrentUser /AddToPath /D=$user_folder" ||
  fail "the per-user install failed"
[ "$(reg_value "HKCU\\$KEY" InstallLocation)" = "$user_folder" ] ||
  fail "no uninstall entry for the user naming $user_folder"
! reg_key_exists "HKLM\\$KEY" || fail "a per-user install wrote the machine's uninstall entry"
[ -f "$user_dir/kstbell.exe" ] || fail "no kstbell.exe in $user_dir"
[ "$(reg_value 'HKCU\Environment' Path)" = "$long_path" ] ||
  fail "the installer changed a Path of ${#long_path} characters"
user_menu=$(unix_path "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')")
[ -f "$user_menu/Microsoft/Windows/Start Menu/Programs/kstbell.lnk" ] ||
  fail "no Start-menu entry for the user"
quiet=$(reg_value "HKCU\\$KEY" QuietUninstallString)
run uninstall-user "$user_dir/uninstall.exe" /S || fail "the per-user uninstall failed"
[ "$(cd "$user_dir" && find . -mindepth 1)" = "./notes.txt" ] ||
  fail "the folder holds more or less than the user's file: $(cd "$user_dir" && find . | tr '\n' ' ')"
! reg_key_exists "HKCU\\$KEY" || fail "the user's uninstall entry is still in the registry"
[ "$(reg_value 'HKCU\Environment' Path)" = "$long_path" ] ||
  fail "the uninstaller changed a Path of ${#long_path} characters"
[ ! -e "$user_menu/Microsoft/Windows/Start Menu/Programs/kstbell.lnk" ] ||
  fail "the user's Start-menu entry is still there"
say "per user into '$user_folder' and out again; the user's own file and long Path kept"
say "passed"
