#!/usr/bin/env bash
# One end-to-end scenario of the real quillmoor.exe under Wine on an X display:
# it drives the program's own dialogs and message boxes with xdotool, saves a
# screenshot of each, and checks what the user sees, the exit code and the
# target file.
#
# Usage: run-scenario.sh <quillmoor.exe> <scenario> <output folder>
# Needs DISPLAY (an X server, e.g. Xvfb) and WINEPREFIX; tools/windows-tests.sh
# sets both up. QUILLMOOR_WAIT_SECONDS is how long to wait for each window
# (default 30; the 32-bit Wine under qemu needs minutes).
set -uo pipefail
exe=$(readlink -f "$1")
scenario=$2
out=$(readlink -m "$3")
here=$(dirname "$(readlink -f "$0")")
run=$(readlink -f "$here/../../../tools/wine-run.sh")
wait_seconds=${QUILLMOOR_WAIT_SECONDS:-30}

work=$out/$scenario
rm -rf "$work"
mkdir -p "$work"
calls=$work/calls.log
: >"$calls"
pid=
failures=0

fail() { echo "FAIL [$scenario]: $*" >&2; failures=$((failures + 1)); }
# A window that never came: nothing more to see, and the program is ended.
give_up() {
  fail "$*"
  kill -9 "$pid" 2>/dev/null
  echo "[$scenario] gave up; screenshots and calls.log in $out" >&2
  exit 1
}
note() { echo "[$scenario] $*"; }

# A Unix path as the Windows program sees it.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# The window whose title is exactly $1, once it shows; fails after the
# deadline, or at once when the program has ended. xdotool can abort while a
# window closes during its search, so every failed search is retried.
wait_window() {
  local title=$1 deadline=$((SECONDS + wait_seconds)) id
  while [ $SECONDS -lt $deadline ]; do
    id=$(xdotool search --onlyvisible --name "^${title//./\\.}\$" 2>/dev/null | head -1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      # The program may have shown the window and ended in one poll's time.
      return 1
    fi
    sleep 0.2
  done
  return 1
}

# Screenshot of a window into the output folder: <scenario>-<name>.png.
shot() {
  local id=$1 name=$2 deadline=$((SECONDS + 10))
  # A window that just mapped may not have painted yet.
  sleep 0.5
  while [ $SECONDS -lt $deadline ]; do
    if xwd -id "$id" -silent 2>/dev/null | convert xwd:- "$out/$scenario-$name.png" 2>/dev/null; then
      return 0
    fi
    sleep 0.3
  done
  fail "no screenshot of $name"
}

press() {
  local id=$1
  shift
  xdotool windowfocus --sync "$id" 2>/dev/null
  xdotool key --window "$id" "$@" 2>/dev/null
}

type_into() {
  local id=$1 text=$2
  xdotool windowfocus --sync "$id" 2>/dev/null
  sleep 0.2
  xdotool type --delay 30 "$text" 2>/dev/null
  sleep 0.2
  xdotool key Return 2>/dev/null
}

# The program's MessageBoxA calls, as Wine's relay trace logs them:
#   Call user32.MessageBoxA(<owner>,<address> "<text>",<address> "<caption>",<type>)
# Texts are in C notation (a line feed is \n).
box_calls() { grep -o 'Call user32\.MessageBoxA([^,]*,[^"]*"[^"]*",[^"]*"[^"]*",[0-9a-fA-F]*)' "$calls" |
  sed 's/^Call user32\.MessageBoxA([^,]*,[^"]*\("[^"]*"\),[^"]*\("[^"]*"\),0*\([0-9a-fA-F]*\))$/\1 \2 0x\3/'; }

# The message box with this caption shows; its text and type are as given; it
# is closed with its OK button.
expect_box() {
  local caption=$1 text=$2 type=$3 name=$4 id deadline
  id=$(wait_window "$caption") || give_up "no message box \"$caption\""
  shot "$id" "$name"
  deadline=$((SECONDS + 10))
  while [ $SECONDS -lt $deadline ] && ! box_calls | grep -qF "\"$caption\""; do sleep 0.2; done
  local call
  call=$(box_calls | tail -1)
  [ "$call" = "\"$text\" \"$caption\" $type" ] ||
    fail "message box: got [$call], want [\"$text\" \"$caption\" $type]"
  press "$id" Return
}

expect_dialog() {
  local title=$1 name=$2 id
  id=$(wait_window "$title") || give_up "no dialog \"$title\""
  shot "$id" "$name"
  echo "$id"
}

start() {
  ( cd "$work" && exec env "$@" WINEDEBUG=-all,+relay "$run" "$exe" ) </dev/null >/dev/null 2>"$calls" &
  pid=$!
}

expect_exit() {
  local want=$1 deadline=$((SECONDS + wait_seconds)) code
  while kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.2; done
  if kill -0 "$pid" 2>/dev/null; then
    fail "the program did not end"
    kill "$pid" 2>/dev/null
    return
  fi
  wait "$pid"
  code=$?
  [ "$code" = "$want" ] || fail "exit status $code, want $want"
}

expect_no_dialog() {
  grep -q 'Call comdlg32\.Get[A-Za-z]*FileNameA' "$calls" && fail "a file dialog was shown"
}

expect_no_box() { [ -z "$(box_calls)" ] || fail "unexpected message box: $(box_calls)"; }

# The file holds exactly these lines (line ends aside), in order.
expect_file() {
  local file=$1
  shift
  local want got
  want=$(printf '%s\n' "$@")
  got=$(tr -d '\r' <"$file" 2>/dev/null | sed '/^$/d')
  [ "$got" = "$want" ] || fail "$(basename "$file") holds:
$got
want:
$want"
}

MSG1='Program must be started from within Total Commander 6.55 or newer!'
MSG2='No start menu entries found. Please choose another file manually.'
MSG3='Conversion complete. No entries converted'

# Two entries and a separator between them, which is passed over.
write_host_settings() {
  printf '%s\r\n' '[Configuration]' 'Language=wcmd_eng.lng' '[User]' \
    'Menu1=Editor' 'Cmd1=notepad.exe' 'Param1=%P%N' 'Path1=C:\Tools' \
    'Menu2=-Separator' 'Cmd2=ignored.exe' \
    'Menu3=Shell' 'Cmd3=cmd.exe' 'Iconic3=1' >"$1"
}
CONVERTED=('[em_usercmd1]' 'Menu=Editor' 'Cmd=notepad.exe' 'Param=%P%N' 'Path=C:\Tools'
           '[em_usercmd3]' 'Menu=Shell' 'Cmd=cmd.exe' 'Iconic=1')

host=$work/host
mkdir -p "$host"

case $scenario in
  not-started-from-host)
    start -u COMMANDER_INI
    expect_box "Failure!" "$MSG1" 0x10 message-1
    expect_exit 255
    expect_no_dialog
    ;;
  host-settings-missing)
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    expect_box "Failure!" "$MSG1" 0x10 message-1
    expect_exit 255
    expect_no_dialog
    [ -z "$(ls -A "$host")" ] || fail "files appeared: $(ls -A "$host")"
    ;;
  convert)
    write_host_settings "$host/wincmd.ini"
    printf '%s\r\n' '[Other]' 'Kept=yes' >"$host/target.ini"
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    # The save dialog opens in the host's folder with an empty file name: the
    # bare name typed in lands there.
    id=$(expect_dialog "Save As" save-dialog) && type_into "$id" target.ini
    expect_box "Success!" 'Conversion complete.\n2 entries written.' 0x40 message-4
    expect_exit 0
    expect_file "$host/target.ini" '[Other]' 'Kept=yes' "${CONVERTED[@]}"
    grep -q "Call comdlg32.GetOpenFileNameA" "$calls" && fail "an open dialog was shown"
    ;;
  no-entries-then-pick)
    printf '%s\r\n' '[Configuration]' 'Language=wcmd_eng.lng' >"$host/wincmd.ini"
    mkdir -p "$host/elsewhere"
    write_host_settings "$host/elsewhere/start.ini"
    : >"$host/elsewhere/target.ini"
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    expect_box "Quillmoor" "$MSG2" 0x40 message-2
    # The open dialog opens in the host's folder; the save dialog then opens
    # in the folder of the file picked.
    id=$(expect_dialog "Open" open-dialog) && type_into "$id" 'elsewhere\start.ini'
    id=$(expect_dialog "Save As" save-dialog) && type_into "$id" target.ini
    expect_box "Success!" 'Conversion complete.\n2 entries written.' 0x40 message-4
    expect_exit 0
    expect_file "$host/elsewhere/target.ini" "${CONVERTED[@]}"
    ;;
  open-cancelled)
    : >"$host/wincmd.ini"
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    expect_box "Quillmoor" "$MSG2" 0x40 message-2
    id=$(expect_dialog "Open" open-dialog) && press "$id" Escape
    expect_exit 255
    [ "$(box_calls | wc -l)" = 1 ] || fail "more message boxes: $(box_calls)"
    grep -q "Call comdlg32.GetSaveFileNameA" "$calls" && fail "a save dialog was shown"
    ;;
  save-cancelled)
    write_host_settings "$host/wincmd.ini"
    cp "$host/wincmd.ini" "$work/before.ini"
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    id=$(expect_dialog "Save As" save-dialog) && press "$id" Escape
    expect_exit 255
    expect_no_box
    cmp -s "$host/wincmd.ini" "$work/before.ini" || fail "the host's settings changed"
    [ "$(ls -A "$host")" = wincmd.ini ] || fail "files appeared: $(ls -A "$host")"
    ;;
  nothing-converted)
    printf '%s\r\n' '[User]' 'Menu1=-only a separator' 'Cmd1=x.exe' >"$host/wincmd.ini"
    printf '%s\r\n' '[Other]' 'Kept=yes' >"$host/target.ini"
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    id=$(expect_dialog "Save As" save-dialog) && type_into "$id" target.ini
    expect_box "Failure!" "$MSG3" 0x30 message-3
    expect_exit 0
    expect_file "$host/target.ini" '[Other]' 'Kept=yes'
    ;;
  target-not-writable)
    # A target on a read-only file system: even root cannot write it.
    write_host_settings "$host/wincmd.ini"
    readonly_dir=$work/readonly
    mkdir -p "$readonly_dir"
    if ! mount -t tmpfs -o size=1m tmpfs "$readonly_dir" 2>/dev/null; then
      note "cannot mount a file system here; skipped"
      exit 77
    fi
    trap 'umount "$readonly_dir" 2>/dev/null' EXIT
    printf '%s\r\n' '[Other]' 'Kept=yes' >"$readonly_dir/target.ini"
    mount -o remount,ro "$readonly_dir"
    start COMMANDER_INI="$(winpath "$host/wincmd.ini")"
    id=$(expect_dialog "Save As" save-dialog) && type_into "$id" "$(winpath "$readonly_dir/target.ini")"
    expect_box "Failure!" 'The target file could not be written.\n0 entries written.' 0x10 message-not-written
    expect_exit 255
    expect_file "$readonly_dir/target.ini" '[Other]' 'Kept=yes'
    ;;
  *)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac

if [ "$failures" -gt 0 ]; then
  echo "[$scenario] $failures check(s) failed; screenshots and calls.log in $out"
  exit 1
fi
note "passed"
