# Sourced by the two commands: installs what building, testing and running the station need.

station_sudo=""
if [ "$(id -u)" -ne 0 ]; then
    station_sudo="sudo"
fi

# What building and running the station needs.
station_build_packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-svg-dev fonts-liberation2
    libmosquitto-dev nlohmann-json3-dev libre2-dev libsqlite3-dev libpq-dev
    libmicrohttpd-dev libjs-chart.js libsystemd-dev libxlsxwriter-dev libsodium-dev libzip-dev
    libexpat1-dev
)
# What the tests, benchmarks and fuzzers need besides: an HTTP client for the page's tests, a
# virtual X server and its tools, clang for the fuzzers, the locales the tests read numbers in,
# the serial bridge, a socket lister, and an MQTT broker with its clients and openssl for the
# publishing tests' certificates, the PostgreSQL server the ledger's tests start clusters of, the
# browser and its driver for the plant page's test, and two spreadsheets with a reader of what
# they write for the exports' test.
station_test_packages=(
    libgtest-dev libbenchmark-dev libcpp-httplib-dev
    xvfb xauth xdotool x11-apps netpbm locales
    clang libclang-rt-14-dev clang-tidy
    ser2net iproute2
    mosquitto mosquitto-clients openssl
    postgresql-15
    chromium chromium-driver python3-selenium
    gnumeric libreoffice-calc-nogui python3-openpyxl
)
# What building and checking the Debian package needs.
station_package_tools=(dpkg-dev lintian help2man desktop-file-utils)

# Installs those of the named Debian packages that are missing, updating the package lists
# first.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
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
