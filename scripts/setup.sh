#!/usr/bin/env bash
# Installs what the viewer, its bundled vendor site and its tests need on
# Debian 12, then configures and builds. Sourced by run-viewer and run-tests.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

packages=(cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools qt6-webchannel-dev libqt6webenginecore6-bin
    qt6-translations-l10n qt6-tools-dev-tools libgl-dev
    ffmpeg
    unicode-data
    xvfb xauth icewm xdotool x11-utils fonts-noto-cjk
    libxss-dev libxcb1-dev
    clang-format dbus-daemon pulseaudio pulseaudio-utils
    weston xwayland qt6-wayland)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Node.js may come from another source that bundles npm; only ask Debian when
# there is none at all.
command -v npm >/dev/null || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

bash "$root/site/setup.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_ARGS:-}
cmake --build "$build" -j"$(nproc)"
