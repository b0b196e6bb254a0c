#!/usr/bin/env bash
# Makes the README's pictures again from the build in build/, so that they
# show the app as it is: it runs on a virtual X server with a window manager,
# on banks made for the purpose, and is driven by keyboard as a user drives
# it. A private JACK server on its dummy backend and the tests' simulated
# device stand in for the device. Look at every picture before keeping it.
#   tools/screenshots.sh [FOLDER]   writes the pictures into FOLDER (docs/)
# tools/dev.sh screenshots installs what this needs, builds, and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-docs}")
bin=$PWD/build/bin
device_program=$PWD/build/tests/a3-simulated-device
for program in "$bin/a3-librarian" "$bin/a3bank" "$device_program"; do
    [ -x "$program" ] || { echo "$program is missing: build first (tools/dev.sh screenshots)" >&2; exit 1; }
done

work=$(mktemp -d /tmp/a3-screenshots-XXXXXX)
pids=()
cleanup() {
    exec 7>&- 2>/dev/null || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A user of the screenshots' own: no settings, library or received banks of
# the person running this.
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb
background='#5b7290'

# Waits up to 20 s for a command to succeed.
await() {
    for _ in $(seq 200); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "gave up waiting for: $*" >&2
    return 1
}

start_display() {
    local number
    for number in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] || break
    done
    Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    pids+=($!)
    export DISPLAY=:$number
    await xsetroot -solid "$background"
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
    await sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window'
}

start_device() {
    export JACK_DEFAULT_SERVER=a3-screenshots-$$
    jackd -S -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 </dev/null &
    pids+=($!)
    jack_wait -w -s "$JACK_DEFAULT_SERVER" -t 10 >/dev/null 2>&1
    mkfifo "$work/device.in"
    "$device_program" A3 <"$work/device.in" >"$work/device.out" 2>&1 &
    pids+=($!)
    exec 7>"$work/device.in" # kept open: the device reads commands until it closes
    await grep -q ready "$work/device.out"
}

# The banks: a live bank, an older one and the bank the device holds.
make_banks() {
    local banks=$work/banks a3bank=$bin/a3bank
    mkdir -p "$banks/live" "$banks/archive"
    "$a3bank" new "$banks/live/gig.syx"
    "$a3bank" rename "$banks/live/gig.syx" 3 Hall
    "$a3bank" rename "$banks/live/gig.syx" 28 Hall
    "$a3bank" copy "$banks/live/gig.syx" 3 "$banks/live/gig.syx" 40
    "$a3bank" rename "$banks/live/gig.syx" 40 Chapel
    "$a3bank" new "$banks/archive/old.syx"
    "$a3bank" copy "$banks/live/gig.syx" 3,28 "$banks/archive/old.syx" 12 -o "$banks/archive/old.syx"
    "$a3bank" rename "$banks/archive/old.syx" 12 HallOld
    "$a3bank" copy "$banks/live/gig.syx" 3 "$banks/archive/old.syx" 3
    "$a3bank" rename "$banks/archive/old.syx" 3 Blues
    cp "$banks/live/gig.syx" "$work/device.syx"
    "$a3bank" rename "$work/device.syx" 5 "Lead 2"
    "$a3bank" rename "$work/device.syx" 17 WahWah
    cp "$work/device.syx" "$work/device-later.syx"
    "$a3bank" rename "$work/device-later.syx" 9 "Twin 2"
    "$a3bank" copy "$banks/live/gig.syx" 2 "$work/device-later.syx" 12 -o "$work/device-later.syx"
    mkdir -p "$XDG_CONFIG_HOME/A3 Librarian"
    printf '%s\n' "$banks" >"$XDG_CONFIG_HOME/A3 Librarian/library-folders"
}

# For the second start: the live bank cut short as a full disk leaves a file,
# and two banks kept in a zip archive beside the others in the Library.
make_cut_and_archive() {
    local a3bank=$bin/a3bank members=$work/members
    mkdir -p "$work/cut" "$members"
    head -c 22000 "$work/banks/live/gig.syx" >"$work/cut/backup.syx"
    cp "$work/banks/live/gig.syx" "$members/march.syx"
    "$a3bank" rename "$members/march.syx" 40 Choir
    cp "$members/march.syx" "$members/april.syx"
    "$a3bank" rename "$members/april.syx" 40 "Choir 2"
    (cd "$members" && zip -q -X "$work/banks/archive/Live sets.zip" march.syx april.syx)
}

# Waits for a program started here to end (a zombie has ended).
await_end() {
    await sh -c "! grep -q '^State:[[:space:]]*[^Z]' /proc/$1/status"
}

# The visible window whose title is exactly the text.
window_named() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

await_window() {
    await sh -c "xdotool search --onlyvisible --name '^$1\$' | grep -q ."
    sleep 0.4 # painted
}

# The screen, cropped to its windows, with a margin of the background.
shot() {
    sleep 0.6
    xsetroot -solid "$background" # repaints what windows gone left behind
    import -window root "$work/screen.png"
    convert "$work/screen.png" -trim +repage -bordercolor "$background" -border 10 "$out/$1.png"
    echo "made $out/$1.png"
}

keys() {
    xdotool key --delay 80 "$@"
}

start_display
start_device
make_banks
mkdir -p "$out"

"$bin/a3-librarian" "$work/banks/live/gig.syx" >"$work/app.log" 2>&1 &
app=$!
pids+=("$app")
await_window 'gig.syx'
bank_window=$(window_named 'gig.syx')
xdotool windowmove "$bank_window" 40 40
xdotool windowactivate --sync "$bank_window"

# A bank: the patch table, with a row selected.
keys Down Down Down Down Down
shot window

# The question before unsaved changes are lost.
keys F2
xdotool type --delay 80 'Hall 2'
keys Return ctrl+w
await_window 'A3 Librarian'
shot save-changes
keys Escape
sleep 0.3
keys ctrl+z

# The Device menu.
keys alt+d
sleep 0.5
shot device-menu
keys Escape

# Send: the port and the speed, then the bank on its way.
keys alt+d s
await_window 'A3 Librarian'
shot device-send
keys Return
sleep 3
shot device-send-progress
await grep -q 'received 29198' "$work/device.out"
sleep 1

# Compare: the device sends its own bank, which differs in two patches.
keys alt+d c
await_window 'A3 Librarian'
keys Return
sleep 1.5
echo "send $work/device.syx 312500" >&7
await_window 'Compare with Device'
shot device-compare
keys Return

# A second bank from the device, later, with a patch renamed and one a new
# sound (compared, so kept as received): the Device History lists both and
# shows what changed.
keys alt+d c
await_window 'A3 Librarian'
keys Return
sleep 1.5
echo "send $work/device-later.syx 312500" >&7
await_window 'Compare with Device'
keys Return
keys ctrl+l
await_window 'Library'
keys alt+l d
await_window 'Device History'
history_window=$(window_named 'Device History')
xdotool windowmove "$history_window" 60 60
xdotool windowactivate --sync "$history_window"
sleep 1
keys Down Up # the newest selected: what changed since the bank before it
shot device-history
keys ctrl+w
xdotool windowminimize --sync "$(window_named 'Library')"
xdotool windowactivate --sync "$bank_window"

# The Library, searched for a name, with where else a sound is kept.
keys ctrl+l
await_window 'Library'
library_window=$(window_named 'Library')
xdotool windowmove "$library_window" 480 40
xdotool windowsize "$library_window" 790 620
xdotool windowactivate --sync "$library_window"
sleep 2 # the first indexing
keys ctrl+f
xdotool type --delay 80 hall
sleep 1
keys Tab Down Down
xdotool windowactivate --sync "$library_window"
shot library

# What was said of a sound: the patch selected above marked in the bank window,
# and found by it in the Library in every bank that holds it.
xdotool windowactivate --sync "$bank_window"
keys ctrl+shift+f ctrl+shift+4 ctrl+shift+t
await_window 'Tags'
xdotool type --delay 80 'ambient live'
keys Return
sleep 0.5
xdotool windowactivate --sync "$library_window"
keys ctrl+f
xdotool type --delay 80 'fav tag:ambient'
sleep 1
keys Tab Down
xdotool windowmove "$library_window" 470 40
xdotool windowsize "$library_window" 790 460
xdotool windowactivate --sync "$library_window"
shot sounds

keys ctrl+q
await_end "$app"

# A second start: a bank file cut short, and banks kept in an archive.
make_cut_and_archive
"$bin/a3-librarian" "$work/cut/backup.syx" >>"$work/app.log" 2>&1 &
app=$!
pids+=("$app")
await_window 'Untitled'
await_window 'A3 Librarian'
xdotool windowminimize --sync "$(window_named 'Untitled')"
xdotool windowactivate --sync "$(window_named 'A3 Librarian')"

# The message offers Recover Patches… first: the report over the recovered bank.
keys Return
await_window 'backup.syx — recovered\*'
await_window 'A3 Librarian'
shot recover
keys Return

# The Library, searched for a name kept only inside the zip archive.
recovered_window=$(window_named 'backup.syx — recovered\*')
xdotool windowactivate --sync "$recovered_window"
keys ctrl+l
await_window 'Library'
library_window=$(window_named 'Library')
xdotool windowminimize --sync "$recovered_window"
xdotool windowactivate --sync "$library_window"
sleep 2 # the archive indexed
keys ctrl+f
xdotool type --delay 80 choir
sleep 1
keys Tab Down Down Up # the first Down only makes the first row current
xdotool windowactivate --sync "$library_window"
shot library-archive

kill "$app"
await_end "$app"

# The printed listing of the factory bank, as a3bank pdf writes it.
"$bin/a3bank" new "$work/factory.syx"
"$bin/a3bank" pdf "$work/factory.syx" -o "$work/listing.pdf" --paper Letter
pdftoppm -png -r 60 -singlefile "$work/listing.pdf" "$work/listing"
cp "$work/listing.png" "$out/listing.png"
echo "made $out/listing.png"
