#!/bin/sh
# Drives the real application as a user would, inside a private mount
# namespace where a temporary file stands in for /etc/hosts:
#   unshare --mount --propagation private /bin/sh end_to_end.sh <tarnhollow> \
#       <built hosts helper> <the path the app runs it from>
# Prints "end-to-end: ok" on success; any failure says what went wrong.
set -eu

app=$1 helper=$2 installed_helper=$3
work=$(mktemp -d /tmp/tarnhollow-e2e.XXXXXX)
app_pid=
bus_pid=
xvfb_pid=
mounted=

cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    # Lazily: a waiter may still hold the file; the mounts must not keep
    # the copy from being removed.
    [ -n "$mounted" ] && { umount -l /etc/hosts; umount -l /etc; } 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

fail() {
    echo "end-to-end: FAIL: $*"
    [ -s "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log"
    exit 1
}

# wait_for <seconds> <description> <command...>: polls every 0.1 s.
wait_for() {
    limit=$(($1 * 10))
    what=$2
    shift 2
    i=0
    until "$@"; do
        i=$((i + 1))
        [ "$i" -lt "$limit" ] || fail "timed out waiting for $what"
        sleep 0.1
    done
}

# The stand-in hosts file; everything the application writes goes here.
printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n# kept byte for byte\n' \
    >"$work/hosts"
cp "$work/hosts" "$work/hosts.orig"
# A private copy of /etc under it, so the browsers' policy folders the
# helper writes are private too.
cp -a /etc "$work/etc"
mount --bind "$work/etc" /etc
mounted=1
mount --bind "$work/hosts" /etc/hosts
# The helper's waiter keeps its files in /run: ours, not the system's.
mount -t tmpfs -o mode=755 tmpfs /run
cmp -s /etc/hosts "$work/hosts.orig" || fail "the bind mount over /etc/hosts did not take"

# The helper where an installation puts it, on a tmpfs over the nearest
# folder that exists, so nothing outside this namespace changes.
top=$(dirname "$installed_helper")
while [ ! -d "$top" ]; do top=$(dirname "$top"); done
mount -t tmpfs -o mode=755 tmpfs "$top"
mkdir -p "$(dirname "$installed_helper")"
cp "$helper" "$installed_helper"

# A private home, data folder, runtime directory and session bus.
export HOME="$work/home"
export XDG_DATA_HOME="$HOME/.local/share" XDG_CONFIG_HOME="$HOME/.config"
export XDG_CACHE_HOME="$HOME/.cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
config="$XDG_DATA_HOME/Tarnhollow/focus-config.json"

# -noreset: a killed last client would otherwise make the server reset, and
# refuse the next launch while it does.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 30 "Xvfb" test -s "$work/display"
export DISPLAY=":$(cat "$work/display")"

dbus-daemon --session --nofork --print-address=4 4>"$work/bus" 2>/dev/null &
bus_pid=$!
wait_for 10 "the session bus" test -s "$work/bus"
export DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$work/bus")"

QT_QPA_PLATFORM=xcb "$app" >"$work/app.log" 2>&1 &
app_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --pid "$app_pid" | head -n 1) ||
    fail "the window did not appear"
xdotool windowfocus --sync "$window"
sleep 0.5

key() { xdotool key --delay 60 "$@"; }
typed() { xdotool type --delay 40 "$1"; }
config_has() { grep -q "$1" "$config" 2>/dev/null; }
hosts_has_section() { grep -q '^# Tarnhollow:BEGIN' /etc/hosts; }
hosts_restored() { cmp -s /etc/hosts "$work/hosts.orig"; }

# The website field has the focus when the window opens. Return in the field
# adds nothing; the Add button does, by Return and by Space.
typed "e2e-one.test"
key Return
sleep 0.3
config_has e2e-one && fail "Return in the field added the entry"
key Tab Return
wait_for 10 "the first website in the configuration" config_has '"e2e-one.test"'
key shift+Tab
typed "E2E-Two.test"
key Tab space
wait_for 10 "the second website in the configuration" config_has '"e2e-two.test"'

# Past Import… and the website list to the application field.
key Tab Tab Tab
typed "org.tarnhollow.E2eProbe"
key Tab Return
wait_for 10 "the application in the configuration" config_has '"org.tarnhollow.E2eProbe"'

# Past the application list to the duration (30 selected), one segment left
# to 25 minutes, then the start button.
key Tab Tab Left Tab space
wait_for 20 "the block section in /etc/hosts" hosts_has_section

for name in e2e-one.test www.e2e-one.test e2e-two.test www.e2e-two.test; do
    answer=$(getent hosts "$name") || fail "getent hosts $name found nothing"
    case "$answer" in
    127.0.0.1*) ;;
    *) fail "getent hosts $name gave: $answer" ;;
    esac
done
grep -q '"websites":\["e2e-one.test","e2e-two.test"\]' "$config" ||
    fail "unexpected configuration: $(cat "$config")"
grep -q '"appBundleIds":\["org.tarnhollow.E2eProbe"\]' "$config" ||
    fail "unexpected configuration: $(cat "$config")"

# The button now reads "Stop Session" and still has the focus.
key space
wait_for 20 "/etc/hosts to get back its original bytes" hosts_restored
kill -0 "$app_pid" 2>/dev/null || fail "the application exited"

# One copy per user: a second launch gives the focus back to the first
# copy's window and exits at once with status 0.
focused() { [ "$(xdotool getwindowfocus -f 2>/dev/null)" = "$window" ]; }
elsewhere() { ! focused; }
xdotool windowfocus "$(xdotool search --maxdepth 0 '' 2>/dev/null)"
wait_for 10 "the focus to leave the window" elsewhere
QT_QPA_PLATFORM=xcb timeout 20 "$app" >>"$work/app.log" 2>&1 || fail "the second copy gave $?"
wait_for 10 "the first copy's window to get the focus" focused
kill -0 "$app_pid" 2>/dev/null || fail "the first copy exited"

# relaunch [NAME=value...]: the running copy killed hard, a new one started.
relaunch() {
    kill -KILL "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    env "$@" QT_QPA_PLATFORM=xcb "$app" >>"$work/app.log" 2>&1 &
    app_pid=$!
}

# A crashed copy's lock does not keep the next launch from opening.
relaunch
timeout 30 xdotool search --sync --onlyvisible --pid "$app_pid" >/dev/null ||
    fail "no window after a crashed copy"

# A session outlives the app. Start 5 minutes (Alt+D to the duration, Alt+S
# for Start), kill the app: the next launch takes the session
# up with its block; a launch after its end removes the block.
record="$HOME/.local/state/Tarnhollow/session.json"
xdotool windowfocus --sync "$(xdotool search --onlyvisible --pid "$app_pid" | head -n 1)"
sleep 0.5
key alt+d Left Left Left Left Left alt+s
wait_for 20 "the block of a new session" hosts_has_section
wait_for 10 "the session record" test -s "$record"
end=$(sed -n 's/.*"end": *"\([^"]*\)".*/\1/p' "$record")
left=$(($(date -u -d "$end" +%s) - $(date +%s)))
[ "$left" -gt 240 ] && [ "$left" -le 300 ] || fail "the record ends in $left s: $(cat "$record")"
relaunch
timeout 30 xdotool search --sync --onlyvisible --pid "$app_pid" >/dev/null ||
    fail "no window after a killed session"
sleep 1
hosts_has_section || fail "the resumed session lost its block"
test -s "$record" || fail "the resumed session lost its record"

# Ten minutes later by the wall clock, the session has ended.
faketime=$(find /usr/lib -name libfaketime.so.1 | head -n 1)
[ -n "$faketime" ] || fail "libfaketime is not installed"
relaunch LD_PRELOAD="$faketime" FAKETIME=+10m
wait_for 30 "the ended session's block to go" hosts_restored
wait_for 10 "the ended session's record to go" sh -c "! test -e '$record'"
echo "end-to-end: ok"
