# Shared by scripts/run and scripts/test: package installation and the build.
# shellcheck shell=bash

TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build and the tests need.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config git
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libjsoncpp-dev libcurl4-openssl-dev libevdev-dev
    # The X11 focus source; node checks the compositor scripts.
    libxcb1-dev libxcb-res0-dev nodejs
    # The wlroots focus source: the Wayland client library and its scanner. Its tests run a
    # headless sway with windows built from the xdg-shell description.
    libwayland-dev libwayland-bin wayland-protocols sway
    qt6-base-dev qt6-base-dev-tools libqt6svg6-dev libgl-dev libssl-dev openssl
    dbus dbus-bin
    # The installation checks and the Debian package: the desktop's validators, the
    # manual's formatter, udevadm, and dpkg-shlibdeps for the package's dependencies.
    desktop-file-utils appstream groff-base man-db udev dpkg-dev
    # The accessibility test: a virtual display, the accessibility bus and its Python
    # client, and the fonts of the languages the screenshots show.
    xvfb xauth at-spi2-core python3-pyatspi fonts-noto-core fonts-noto-cjk
    # talyx-audio captures through libpulse and talks on the bus through libdbus, both on
    # one main loop; its end-to-end test runs a PulseAudio of its own and plays with the
    # server's own player.
    libpulse-dev libdbus-1-dev pulseaudio pulseaudio-utils)
# The runtimes of the address, undefined-behaviour and thread sanitizer passes.
SANITIZER_PACKAGES=(libasan8 libubsan1 libtsan2)
# Extra packages for the fuzz pass.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# What scripts/run adds: the fonts the program ships under its own names, and a
# virtual display for machines without one.
RUN_PACKAGES=(fonts-wqy-microhei fonts-play fonts-noto-core fonts-noto-cjk xvfb xauth)

# install_missing PACKAGE... : installs through apt-get, as root or with sudo, only
# the packages that are not installed yet.
install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            echo "Missing packages (${missing[*]}) and no root rights to install them." >&2
            return 1
        fi
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq || true
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# configure_and_build DIR [CMAKE ARGS...]
configure_and_build() {
    local dir=$1
    shift
    cmake -S "$TOP" -B "$dir" -G Ninja "$@" >/dev/null || return 1
    cmake --build "$dir" || return 1
}
