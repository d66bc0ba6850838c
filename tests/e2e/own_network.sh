# Sourced first by a test whose ports are fixed (the README's, a script's): runs the test again
# in a network namespace of its own, where those ports meet no other test's and nothing of the
# machine's, with its loopback up.
if [ -z "${STATION_OWN_NETWORK:-}" ]; then
    own=(--net)
    [ "$(id -u)" -eq 0 ] || own+=(--map-root-user)
    exec env STATION_OWN_NETWORK=1 unshare "${own[@]}" -- "$0" "$@"
fi
ip link set lo up
