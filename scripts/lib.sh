# Shared by scripts/run and scripts/test: installs missing Debian packages and configures builds.
# shellcheck shell=bash

VESK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What building and running Vesk needs.
VESK_BUILD_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libicu-dev
    libxcb1-dev libxcb-xkb-dev libxcb-keysyms1-dev libxkbcommon-dev
    fonts-dejavu-core shared-mime-info desktop-file-utils
)
# What building the Debian package needs on top (scripts/package): dpkg-shlibdeps and the tools
# that strip the program and keep its debug symbols.
VESK_PACKAGE_PACKAGES=(
    dpkg-dev binutils file
)
# What the tests and benchmarks need on top: a virtual X display, a small window manager, a way to
# press keys like a person, screenshots, the clipboard tool, a private session bus, Google Benchmark
# and the X extensions its key-to-repaint timing uses, GLib's launcher of desktop entries, and what
# builds and checks the Debian package.
VESK_TEST_PACKAGES=(
    xvfb xauth xdotool openbox imagemagick xclip x11-utils
    libbenchmark-dev libxcb-xtest0-dev libxcb-damage0-dev clang-format util-linux dbus-daemon
    libglib2.0-bin lintian "${VESK_PACKAGE_PACKAGES[@]}"
    at-spi2-core python3-pyatspi
)

vesk_as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "vesk: installing packages needs root or sudo: $*" >&2
        return 1
    fi
}

# Installs the named packages that are not installed yet; does nothing (and asks no network) when
# all are present.
vesk_ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "vesk: installing ${missing[*]}"
    vesk_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    vesk_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" </dev/null
}

# vesk_configure <build-dir> [cmake options...]: configures once; later runs only build.
vesk_configure() {
    local dir=$1
    shift
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$VESK_ROOT" -B "$dir" -G Ninja "$@"
    fi
}
