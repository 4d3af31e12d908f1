#!/usr/bin/env bash
# The Debian package as its users meet it. "build" makes the .deb from this build folder and unpacks it; the
# other checks look at that: lintian, apt's view of its dependencies, the unpacked programs, the service
# unit, and a C host built with pkg-config.
# Usage: package_test.sh build|lintian|installs|unpacked|unit|pkgconfig
set -euo pipefail
build=${VANTOR_BUILD_DIR:?the build folder}
source_dir=${VANTOR_SOURCE_DIR:?the source folder}
out=$build/package
root=$out/root

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

the_deb() {
    local debs=("$out"/vantor-dmx_*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one vantor-dmx_*.deb in $out"
    echo "${debs[0]}"
}

case ${1:?which check} in
build)
    rm -rf "$out"
    (cd "$build" && cpack --config CPackConfig.cmake >"$build/cpack.log" 2>&1) || {
        cat "$build/cpack.log"
        fail "cpack"
    }
    deb=$(the_deb)
    [[ $(basename "$deb") =~ ^vantor-dmx_[0-9.]+_$(dpkg --print-architecture)\.deb$ ]] || fail "name $deb"
    dpkg-deb -x "$deb" "$root"
    dpkg-deb -f "$deb" Depends | grep -q libqt6serialport6 || fail "Depends lacks the Qt libraries it links"
    ;;
lintian)
    lintian --fail-on error --tag-display-limit 0 "$(the_deb)"
    ;;
installs)
    # apt resolves its dependencies on this system, as for "apt install ./vantor-dmx_*.deb", without
    # installing anything.
    report=$(apt-get install --simulate -o Debug::NoLocking=1 "$(the_deb)" 2>&1) || fail "apt: $report"
    grep -q '^Conf vantor-dmx ' <<<"$report" || fail "apt would not install it: $report"
    ;;
unpacked)
    for file in usr/bin/vantor-host usr/bin/vantor-bridge usr/bin/prowidget-sim \
        usr/share/man/man1/vantor-host.1.gz usr/share/man/man1/vantor-bridge.1.gz \
        usr/share/man/man1/prowidget-sim.1.gz usr/share/doc/vantor-dmx/examples/vantor-bridge.conf \
        etc/default/vantor-bridge usr/lib/systemd/system/vantor-bridge.service; do
        [ -f "$root/$file" ] || fail "no /$file in the package"
    done
    # Its absence is what keeps an upgraded machine on /etc/default/vantor-bridge.
    [ ! -e "$root/etc/vantor-bridge.conf" ] || fail "the package ships /etc/vantor-bridge.conf"
    bridge=$root/usr/bin/vantor-bridge
    "$bridge" --help | grep -q -- --list-ports || fail "vantor-bridge --help"
    example=$root/usr/share/doc/vantor-dmx/examples/vantor-bridge.conf
    report=$("$bridge" --check --config "$example" 2>&1) || fail "the example does not pass --check: $report"
    host=$root/usr/bin/vantor-host
    "$host" --help | grep -q -- --reconnect || fail "--help"
    # No plug-in beside it: the program must find the installed one.
    [ ! -e "$root/usr/bin/vantor.out.so" ] || fail "a plug-in beside the program"
    run=$(VANTOR_ARTNET_INTERFACE=lo "$host" --headless --quiet --simulate-widget --port 1 --enable --set 1=200 \
        --duration 1.5 2>&1) || fail "headless run: $run"
    grep -q "levels of channels 1 to 8: 200 0" <<<"$run" || fail "headless run: $run"
    ;;
unit)
    unit=usr/lib/systemd/system/vantor-bridge.service
    grep -q '^ExecStart=/usr/bin/vantor-bridge$' "$root/$unit" || fail "ExecStart names another program"
    # shellcheck disable=SC2016 # systemd's own variable
    grep -q '^ExecReload=/bin/kill -HUP $MAINPID$' "$root/$unit" || fail "no reload by SIGHUP"
    # The program reads its files itself: systemd must not make one of them a condition of the start.
    ! grep -q '^EnvironmentFile=' "$root/$unit" || fail "EnvironmentFile"
    grep -q '^INTERFACE=$' "$root/etc/default/vantor-bridge" || fail "INTERFACE must start out unset"
    head -n 1 "$root/etc/default/vantor-bridge" | grep -q 'only while /etc/vantor-bridge.conf is absent' ||
        fail "the old settings do not say when they are read"
    grep -qx /etc/default/vantor-bridge <(dpkg-deb --ctrl-tarfile "$(the_deb)" | tar -xO ./conffiles) ||
        fail "/etc/default/vantor-bridge is no conffile"
    # verify resolves the unit, its program and its manual page inside a root: the unpacked package beside
    # the system's own units. A warning (an unknown key, say) fails too.
    verify_root=$out/verify-root
    rm -rf "$verify_root"
    cp -a "$root" "$verify_root"
    cp -a /lib/systemd/system/. "$verify_root/usr/lib/systemd/system/"
    # The reload's program, from the package's dependency procps.
    install -D /bin/kill "$verify_root/bin/kill"
    report=$(MANPATH=$verify_root/usr/share/man systemd-analyze verify --root="$verify_root" \
        "$verify_root/$unit" 2>&1) || fail "systemd-analyze verify: $report"
    [ -z "$report" ] || fail "systemd-analyze verify: $report"
    # The hardening: an exposure of at most 2.0, which is 20 on the threshold's scale.
    systemd-analyze security --offline=yes --threshold=20 --root="$verify_root" "$verify_root/$unit" \
        >"$out/security.txt" 2>&1 || fail "systemd-analyze security: $(tail -n 1 "$out/security.txt")"
    # The service's program on the shipped settings alone, as a fresh install has them: refused until
    # INTERFACE is set. Its /etc is the package's, in a mount namespace of this check (root only).
    if unshare -m true 2>/dev/null; then
        set +e
        # shellcheck disable=SC2016 # the inner shell's arguments
        refusal=$(unshare -m bash -c 'mount --bind "$1/etc" /etc && exec "$1/usr/bin/vantor-bridge" --check' \
            sh "$root" 2>&1)
        code=$?
        set -e
        [ $code -eq 2 ] && grep -q "^/etc/default/vantor-bridge:[0-9]*: INTERFACE is empty" <<<"$refusal" ||
            fail "started without INTERFACE: $refusal"
    fi
    ;;
pkgconfig)
    pcdir=$(dirname "$root"/usr/lib/*/pkgconfig/vantor-out.pc)
    flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --define-variable=prefix="$root/usr" --cflags --libs vantor-out)
    # shellcheck disable=SC2086
    cc -Wall -Werror -o "$out/pc_host" "$source_dir/tests/package/pc_host.c" $flags
    name=$(VANTOR_HEADLESS=1 QT_QPA_PLATFORM=offscreen VANTOR_ARTNET_INTERFACE=lo "$out/pc_host")
    [ "$name" = "Vantor Driver" ] || fail "the linked host got '$name'"
    if [ -f "$root/usr/include/vantor/vantor_out.hpp" ]; then
        # shellcheck disable=SC2086
        echo '#include <vantor_out.hpp>' | c++ -std=c++20 -fsyntax-only -x c++ - $flags
    fi
    ;;
*)
    fail "unknown check $1"
    ;;
esac
