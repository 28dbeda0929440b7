#!/bin/sh
# Runs STEPS as the unprivileged user 65534 against a real system bus and a
# real polkitd with our policy and one rule, and a temporary hosts file bound
# over /etc/hosts. Only ever run inside `unshare --mount --pid --fork --mount-proc`,
# so the helper's waiters end with it.
#   polkit_hosts.sh WORK RULE(yes|no|none) HOSTS(plain|full) STEPS
# STEPS sees $CLIENT and $HELPER (the installed path, where $BUILT_HELPER is
# copied); its output goes to WORK/out.
set -eu
work=$1 rule=$2 kind=$3 steps=$4

cleanup() {
    [ -n "${polkitd:-}" ] && kill "$polkitd" 2>/dev/null || true
    [ -f /run/dbus/pid ] && kill "$(cat /run/dbus/pid)" 2>/dev/null || true
}
trap cleanup EXIT

mount -t tmpfs tmpfs /run
mkdir -p /run/dbus
dbus-daemon --system --fork

# A private copy of /etc, so the browsers' policy folders the helper writes
# are private too; the rules and the hosts file are bound over it.
cp -a /etc "$work/etc"
mount --bind "$work/etc" /etc
mkdir -p "$work/rules"
case $rule in
yes | no)
    result=$(echo "$rule" | tr a-z A-Z)
    printf 'polkit.addRule(function(action, subject) {\n  if (action.id.indexOf("org.tarnhollow.") == 0) return polkit.Result.%s;\n});\n' \
        "$result" >"$work/rules/50-tarnhollow-test.rules"
    ;;
esac
mount --bind "$work/rules" /etc/polkit-1/rules.d
mount --bind "$POLICY_DIR" /usr/share/polkit-1/actions
/usr/lib/polkit-1/polkitd --no-debug >"$work/polkitd.log" 2>&1 &
polkitd=$!
tries=0
until dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null |
    grep -q 'boolean true'; do
    tries=$((tries + 1))
    [ $tries -lt 100 ] || { echo "polkitd did not start" >&2; exit 90; }
    sleep 0.1
done

# The helper where an installation puts it, which the policy names and no
# user can replace: on a tmpfs over the nearest folder that exists.
top=$(dirname "$HELPER")
while [ ! -d "$top" ]; do top=$(dirname "$top"); done
mount -t tmpfs -o mode=755 tmpfs "$top"
mkdir -p "$(dirname "$HELPER")"
cp "$BUILT_HELPER" "$HELPER"

hosts=$work/hosts
if [ "$kind" = full ]; then
    mkdir -p "$work/full"
    mount -t tmpfs -o size=16k tmpfs "$work/full"
    cp -p "$hosts" "$work/full/hosts"
    yes >"$work/full/filler" 2>/dev/null || true
    hosts=$work/full/hosts
fi
mount --bind "$hosts" /etc/hosts
grep -q '^# tarnhollow test file$' /etc/hosts || exit 91

setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -i PATH=/usr/bin:/bin CLIENT="$CLIENT" HELPER="$HELPER" sh -c "$steps" >"$work/out" 2>&1 || true
cp "$hosts" "$work/hosts.after"
