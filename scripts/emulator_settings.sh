# Sourced: settings_for_emulator PORTS_FILE writes, to standard output, a settings file that
# points the station's four scales at the ports the emulator printed ("scale N: 127.0.0.1:P").
settings_for_emulator() {
    echo "[Polaczenie]"
    local n=1 address
    while read -r _ _ address; do
        echo "port$n=${address##*:}"
        n=$((n + 1))
    done <"$1"
}
