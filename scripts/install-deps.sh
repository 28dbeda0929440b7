#!/usr/bin/env bash
# Installs the Debian packages Tarnhollow needs to build, run and test.
# Only missing packages are installed; sudo is used only when not root.
set -euo pipefail

packages=(
    # build
    g++ cmake ninja-build pkgconf librsvg2-bin
    qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev libxcb-res0-dev libc-ares-dev
    # runtime: authentication prompt, fonts for the window, the firewall layer
    pkexec polkitd fonts-dejavu-core nftables
    # tests: X server, input events, session bus, namespaces, validators
    xvfb xauth xdotool x11-utils dbus-daemon dbus-bin util-linux faketime libc-bin openbox
    desktop-file-utils appstream dpkg-dev iproute2
    # tests: what a screen reader receives, through the accessibility bus
    at-spi2-core python3-pyatspi gir1.2-atspi-2.0
    # tests: a running browser against a block, with a local resolver (no service)
    chromium dnsmasq-base python3-websocket
    # benches: instruction counts of the root helper
    valgrind
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    echo "install-deps: everything is already installed"
    exit 0
fi

sudo=()
if ((EUID != 0)); then
    sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
