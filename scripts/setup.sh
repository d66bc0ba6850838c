# Sourced by the two commands: installs what building, testing and running the station need.

station_sudo=""
if [ "$(id -u)" -ne 0 ]; then
    station_sudo="sudo"
fi

station_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    libgtest-dev libbenchmark-dev
    xvfb xauth xdotool x11-apps netpbm fonts-liberation2 locales
    clang libclang-rt-14-dev
)

# Installs the Debian packages that are missing, updating the package lists first.
ensure_packages() {
    local missing=() package
    for package in "${station_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        $station_sudo apt-get update -qq
        $station_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

# The tests read numbers under a Polish locale, whose decimal separator is a comma.
ensure_test_locale() {
    if ! locale -a 2>/dev/null | grep -qix 'pl_PL.utf8'; then
        $station_sudo localedef -i pl_PL -f UTF-8 pl_PL.UTF-8
    fi
}
