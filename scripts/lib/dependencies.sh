# Installs the Debian packages Tarnwell builds and tests with, only those that are missing.
# Sourced by scripts/test and scripts/run.

tarnwell_packages=(
    cmake g++ make pkg-config
    qt6-base-dev qcoro-qt6-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth dbus dbus-x11 libxcb1-dev
    breeze-icon-theme libqt6svg6
    util-linux mount e2fsprogs dosfstools udev
    libblkid-dev exfatprogs fdisk
    udisks2 polkitd bubblewrap
    dpkg-dev desktop-file-utils appstream lintian debootstrap
)

tarnwell_install_dependencies() {
    local missing=()
    local package
    for package in "${tarnwell_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    echo "Installing missing packages: ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

tarnwell_jobs() {
    nproc 2>/dev/null || echo 2
}
