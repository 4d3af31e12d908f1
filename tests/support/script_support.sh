# Shared by the shell tests: the build folder, a work folder removed at exit, waiting for a condition.
# shellcheck shell=bash
set -euo pipefail

# With own_network=yes set before this is sourced, the test runs in a network namespace of its own with only
# loopback, where it may: its Art-Net node then has UDP 6454 to itself, whatever other tests run beside it.
if [ "${own_network:-}" = yes ] && [ -z "${VANTOR_OWN_NETWORK:-}" ] && unshare -n true 2>/dev/null; then
    VANTOR_OWN_NETWORK=1 exec unshare -n bash -c 'ip link set lo up && exec bash "$0" "$@"' "$0" "$@"
fi

build=${VANTOR_BUILD_DIR:?the build folder}
work=$(mktemp -d)
cleanups=("rm -rf '$work'")
on_exit() {
    local index
    for ((index = ${#cleanups[@]} - 1; index >= 0; index--)); do eval "${cleanups[index]}" || true; done
}
trap on_exit EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# wait_until SECONDS COMMAND...: true as soon as COMMAND succeeds, false when the time is up.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}


# sACN tests: multicast over loopback, in the test's own namespace only; skips the test outside one.
sacn_loopback_or_skip() {
    if [ -z "${VANTOR_OWN_NETWORK:-}" ]; then
        echo "skipped: needs a network namespace of its own (root)"
        exit 0
    fi
    ip link set lo multicast on
    ip route add 239.0.0.0/8 dev lo
}
