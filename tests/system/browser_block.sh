#!/bin/sh
# A block by the hosts helper as running browsers see it, as root in private
# mount, network and pid namespaces: a private copy of /etc whose resolver is
# a dnsmasq answering 192.0.2.10 for example.test and every name under it, a
# site on 192.0.2.10:80, a tmpfs /run.
#   browser_block.sh HELPER              Chromium, a 20 s session
#   browser_block.sh HELPER --measure [LENGTH]
#                                        Chromium and Firefox ESR, LENGTH s (70)
# Prints browser_lab.py's measurements; exits 77 with the reason when
# something it needs is missing here.
set -eu

if [ "${1:-}" != --inside ]; then
    [ "$(id -u)" = 0 ] || { echo "needs root for private namespaces"; exit 77; }
    for tool in unshare ip nft pgrep dnsmasq chromium /usr/bin/python3; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
    done
    /usr/bin/python3 -c 'import websocket' 2>/dev/null ||
        { echo "python3-websocket is not installed"; exit 77; }
    unshare --mount --net --pid --fork --mount-proc true 2>/dev/null ||
        { echo "no private namespaces here"; exit 77; }
    # The pid namespace ends whatever the lab started, the helper's waiter too.
    exec unshare --mount --net --pid --fork --kill-child --mount-proc --propagation private \
        /bin/sh "$0" --inside "$@"
fi
shift
helper=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/tarnhollow-lab.XXXXXX)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

# A copy of all of /etc, so watchers of /etc/hosts see the helper's renames.
cp -a /etc "$work/etc"
rm -f "$work/etc/resolv.conf"
echo "nameserver 127.0.0.53" >"$work/etc/resolv.conf"
sed -i 's/^hosts:.*/hosts: files dns/' "$work/etc/nsswitch.conf"
mount --bind "$work/etc" /etc
mount -t tmpfs -o mode=755 tmpfs /run
ip link set lo up
ip addr add 192.0.2.10/32 dev lo

# --no-hosts: the blocked names' DNS answers stay the site's, as from a
# resolver elsewhere.
dnsmasq -C /dev/null --keep-in-foreground --no-resolv --no-hosts --user=root --pid-file= \
    --listen-address=127.0.0.53 --bind-interfaces --address=/example.test/192.0.2.10 \
    --log-facility="$work/dnsmasq.log" &
/usr/bin/python3 "$here/browser_lab.py" serve 192.0.2.10 2>"$work/site.log" &

export HOME="$work/home"
mkdir -p "$HOME"
cd "$work"
/usr/bin/python3 "$here/browser_lab.py" run "$helper" "$@"
