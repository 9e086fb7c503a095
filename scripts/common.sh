# Shared by ./test, ./run and bench/run: packages, builds, and the private network namespace.

# Debian packages the project needs to build, test and run.
METERLANE_PACKAGES=(
    cmake ninja-build g++ clang-14 libclang-rt-14-dev pkg-config
    qt6-base-dev libgtest-dev libbenchmark-dev
    snmpd snmp snmpsim libsnmp-dev libssl-dev
    iproute2 util-linux iputils-ping fping xvfb xauth fonts-dejavu-core qt6-qpa-plugins dbus-daemon x11-utils
    qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite qt6-svg-dev
    libcurl4-openssl-dev python3-aiosmtpd openssl
    systemd desktop-file-utils dpkg-dev file lintian logrotate
)

install_packages() {
    local missing=()
    for package in "${METERLANE_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing packages: ${missing[*]}; run as root (or install them with apt-get) and try again" >&2
        exit 1
    fi
    echo "== installing ${missing[*]}"
    apt-get update -qq
    # A package's own service (snmpd) must not start outside the tests' namespaces.
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    rm -f /usr/sbin/policy-rc.d
}

# configure DIR CMAKE_ARGS...: the prefix is the installed layout's (/usr), also in a build folder first configured
# under another one.
configure() {
    local dir=$1
    shift
    mkdir -p "$dir"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_INSTALL_PREFIX=/usr "$@" >"$dir/configure.log" 2>&1 ||
        { cat "$dir/configure.log"; exit 1; }
}

# build DIR: builds a configured folder; on failure shows the errors and returns 1.
build() {
    echo "== building in $1"
    ninja -C "$1" >"$1/build.log" 2>&1 || { grep -E -A8 'error|FAILED' "$1/build.log" | head -60; return 1; }
}

configure_and_build() {
    configure "$@"
    build "$1" || exit 1
}

# Runs a command in a network namespace of its own with only loopback up: nothing it sends leaves the machine.
in_private_network() {
    local enter=(unshare -n)
    [ "$(id -u)" -eq 0 ] || enter=(unshare -r -n)
    "${enter[@]}" bash -c 'ip link set lo up && exec "$@"' private-network "$@"
}
