#!/usr/bin/env bash
# The boot service as the viewer component installs it into a scratch root: its units, its
# settings, the start command built from them, and the viewer started in the unit's environment.
#   tst_bootservice.sh BUILD_DIR FAKE_FRAMEBUFFER_LIBRARY
set -uo pipefail

build_dir=$1
fake_framebuffer=$2
failures=0
check() {
    if eval "$2"; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        [[ -z ${3-} ]] || echo "$3"
        failures=$((failures + 1))
    fi
}

for tool in systemd-analyze systemctl; do
    if ! command -v $tool >/dev/null; then
        echo "FAILED: $tool is missing (apt-get install systemd)"
        exit 1
    fi
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
if ! installed=$(DESTDIR=$root cmake --install "$build_dir" --prefix /usr --component viewer 2>&1); then
    echo "$installed"
    exit 1
fi
unit=$root/lib/systemd/system/page-scope.service
wait_unit=$root/lib/systemd/system/page-scope-devices.service
settings=$root/etc/default/page-scope
check "the units and the settings are installed" '[[ -f $unit && -f $wait_unit && -f $settings ]]'

# verify exits 0 after warnings about lines that systemd then ignores: any output is a failure.
verify=$(systemd-analyze verify --man=no "$unit" "$wait_unit" 2>&1)
check "systemd-analyze verify accepts the units without a warning" '[[ $? -eq 0 && -z $verify ]]' \
    "$verify"
check "its manual page is installed" '[[ -f $root/usr/share/man/man1/page-scope.1.gz ]]'
check "it is left disabled" \
    '[[ $(systemctl --root="$root" is-enabled page-scope.service 2>&1) == disabled ]]'

# systemd's environment files are NAME=VALUE lines and comments; quotes may only enclose a whole
# value, and nothing is expanded.
check "every line of the settings is a comment, blank or NAME=VALUE" \
    '! grep -Evq "^(#.*|[A-Z_]+=[^\"'"'"'\$]*)?$" "$settings"'
# A setting, active or commented out, follows a comment that explains it or another setting.
unexplained=$(awk '/^#?[A-Z_]+=/ { if (previous == "") print FILENAME ":" NR ": " $0 }
                   { previous = $0 }' "$settings")
check "every setting comes after its explanation" '[[ -z $unexplained ]]' "$unexplained"
for name in QT_QPA_PLATFORM QT_QPA_FB_HIDECURSOR QT_QPA_EVDEV_KEYBOARD_PARAMETERS \
    QT_QPA_EVDEV_TOUCHSCREEN_PARAMETERS QT_QPA_GENERIC_PLUGINS PAGE_SCOPE_DIRECTORY \
    PAGE_SCOPE_DOCUMENT PAGE_SCOPE_OPTIONS PAGE_SCOPE_DEVICE_WAIT; do
    check "the settings cover $name" 'grep -Eq "^#?$name=" "$settings"'
done
check "the touch panel can be turned and mirrored" \
    'grep -q "rotate=" "$settings" && grep -q invertx "$settings" && grep -q inverty "$settings"'
platform=$(sed -n 's/^QT_QPA_PLATFORM=//p' "$settings")
check "the default platform is linuxfb on a framebuffer device at the panel's size" \
    '[[ $platform == linuxfb:* && $platform == *fb=/dev/fb* && $platform == *size=480x272* ]]'
check "without the settings file the unit still runs on the framebuffer" \
    'grep -qx "Environment=QT_QPA_PLATFORM=linuxfb" "$unit"'

# The start command, as systemd hands it to /bin/sh ($$ as $), runs a stand-in that prints its
# working directory and arguments; the shell reads these settings lines as systemd would.
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
check "the unit starts the installed viewer through /bin/sh" \
    '[[ $exec_start == "/bin/sh -c "* && $exec_start == *" /usr/bin/page-scope "* && -x $root/usr/bin/page-scope ]]'
script=${exec_start#/bin/sh -c \'}
script=${script%\'}
script=${script//\$\$/\$}
script=${script//\/usr\/bin\/page-scope/\"\$0\"}
stand_in=$root/stand-in
printf '#!/bin/sh\npwd\nfor argument; do echo "[$argument]"; done\n' >"$stand_in"
chmod +x "$stand_in"
start() { (cd / && env -i PATH=/usr/bin:/bin "$@" /bin/sh -c "$script" "$stand_in"); }
mapfile -t defaults < <(grep -E '^[A-Z_]+=' "$settings")
directory=$(sed -n 's/^PAGE_SCOPE_DIRECTORY=//p' "$settings")
document=$(sed -n 's/^PAGE_SCOPE_DOCUMENT=//p' "$settings")
check "the default working directory holds the icons, and the default document is installed" \
    '[[ -f $root$directory/images/cancel.svg && -f $root$document ]]'
# The stand-in runs on this machine, so the directory must be one that exists here too.
check "with the settings: the working directory and -f DOCUMENT" \
    '[[ $(start "${defaults[@]}" PAGE_SCOPE_DIRECTORY=/tmp) == "$(printf "/tmp\n[-f]\n[%s]" "$document")" ]]'
check "a document with blanks stays one argument; the options split into words" \
    '[[ $(start PAGE_SCOPE_DIRECTORY=/ "PAGE_SCOPE_DOCUMENT=/media/a b.pdf" "PAGE_SCOPE_OPTIONS=-o -x 5") == "$(printf "/\n[-f]\n[/media/a b.pdf]\n[-o]\n[-x]\n[5]")" ]]'
check "no document and no directory: no -f, and the package's data directory" \
    '[[ $(start PAGE_SCOPE_DOCUMENT= 2>/dev/null | head -1) == /usr/share/page-scope || ! -d /usr/share/page-scope ]] &&
     [[ $(start PAGE_SCOPE_DIRECTORY=/ PAGE_SCOPE_DOCUMENT=) == / ]]'
check "a directory that does not exist stops the start" \
    '! start PAGE_SCOPE_DIRECTORY=/nonexistent 2>/dev/null'

# With the runtime directory systemd would make (%t is /run): Qt complains on standard error
# when it is missing or not private.
run=$root/run
runtime=$run/$(sed -n 's/^RuntimeDirectory=//p' "$unit")
mkdir -p "$run" && mkdir -m "$(sed -n 's/^RuntimeDirectoryMode=//p' "$unit")" "$runtime"
mapfile -t unit_environment < <(sed -n "s|^Environment=||; T; s|%t|$run|g; p" "$unit")
warnings=$(cd "$root$directory" && env -i PATH=/usr/bin:/bin "${unit_environment[@]}" \
    QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/page-scope" -f "$root$document" 2>&1 >/dev/null)
check "the viewer starts under the unit without a word on standard error" \
    '[[ -d $runtime && -z $warnings ]]' "$warnings"

# The viewer on linuxfb, in the unit's environment, on a 480 x 272 framebuffer that the preloaded
# library stands in for, with a window that does not fill the panel.
stdout=$root/stdout
(cd "$root$directory" && exec env -i PATH=/usr/bin:/bin "${unit_environment[@]}" \
    QT_QPA_PLATFORM=linuxfb:fb=/dev/page-scope-test-fb FAKE_FRAMEBUFFER=/dev/page-scope-test-fb \
    LD_PRELOAD="$fake_framebuffer" "$root/usr/bin/page-scope" -f "$root$document" \
    -x 40 -y 30 -w 300 -h 200 </dev/null >"$stdout" 2>/dev/null) &
viewer=$!
# Each pixel as 8 hex digits; the panel starts all zero, and Qt draws only where windows are.
pixel() {
    local link
    for link in /proc/$viewer/fd/*; do
        [[ $(readlink "$link") == *memfd:framebuffer* ]] &&
            od -An -tx4 -j $((($2 * 480 + $1) * 4)) -N4 "$link" | tr -d ' '
    done
}
for _ in $(seq 100); do
    grep -q "^Using config file" "$stdout" && [[ $(pixel 41 31) =~ [1-9a-f] ]] && break
    sleep 0.1
done
sleep 0.5
check "the window keeps its place and size on linuxfb" \
    '[[ $(pixel 20 10) == 00000000 && $(pixel 400 250) == 00000000 && $(pixel 41 31) != 00000000 && -n $(pixel 41 31) ]]'
# systemd stops the service with SIGTERM; an end by it or with status 0 is clean, any other not.
kill -TERM $viewer
wait $viewer
status=$?
check "SIGTERM stops the viewer on linuxfb as systemd counts clean (status $status)" \
    '[[ $status -eq 0 || $status -eq 143 ]] && grep -q "^Using config file" "$stdout"'

# Qt opens an input device once, at start, and a driver may make its node later, so a unit of its
# own waits for them: the viewer's unit fixes its device classes as it starts, not after a wait.
wait_script=$root/usr/libexec/page-scope/wait-for-devices
check "the wait unit runs the wait script, which is installed" \
    '[[ $(sed -n "s/^ExecStart=//p" "$wait_unit") == "/bin/sh /usr/libexec/page-scope/wait-for-devices" && -x $wait_script ]]'
check "the viewer's unit pulls in the wait and starts after it, and runs nothing before the viewer" \
    'grep -qx "Wants=page-scope-devices.service" "$unit" && grep -qx "After=page-scope-devices.service" "$unit" && ! grep -q "^ExecStartPre=" "$unit"'
check "the wait sees the viewer's platform and settings" \
    '[[ $(grep -E "^(Environment=QT_QPA_PLATFORM=|EnvironmentFile=)" "$wait_unit") == "$(grep -E "^(Environment=QT_QPA_PLATFORM=|EnvironmentFile=)" "$unit")" ]]'
node=/dev/page-scope-test-keys-$$
if [[ $EUID -ne 0 ]]; then
    echo "skipped: device nodes that appear late (making one in /dev needs root)"
else
    # A FIFO stands in for the keyboard's event node; Qt opens it as it would the real one.
    (sleep 1 && mkfifo "$node") &
    late=$(cd "$root$directory" && env -i PATH=/usr/bin:/bin "${unit_environment[@]}" \
        QT_QPA_PLATFORM=offscreen QT_QPA_GENERIC_PLUGINS=evdevkeyboard \
        QT_QPA_EVDEV_KEYBOARD_PARAMETERS="$node" \
        sh -c "sh '$wait_script' && exec timeout 3 '$root/usr/bin/page-scope' -f '$root$document'" 2>&1 >/dev/null)
    wait
    check "a keyboard whose node appears a second late is opened" \
        '[[ -p $node && $late != *"Cannot open keyboard input device"* ]]'
    rm -f "$node"
    missing=$(env -i PATH=/usr/bin:/bin PAGE_SCOPE_DEVICE_WAIT=1 \
        QT_QPA_EVDEV_TOUCHSCREEN_PARAMETERS="$node:rotate=90" timeout 5 sh "$wait_script" 2>&1)
    check "a node that never appears delays the start by the wait only, and is named" \
        '[[ $? -eq 0 && $missing == "page-scope: $node did not appear within 1 s; starting without it" ]]'
fi

# linuxfb without fb= draws into /dev/fb0, which the wait must not leave out.
default_fb=$(env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=linuxfb:size=480x272 PAGE_SCOPE_DEVICE_WAIT=1 \
    sh "$wait_script" 2>&1)
if [[ -e /dev/fb0 ]]; then
    check "linuxfb without fb= finds its framebuffer /dev/fb0" '[[ -z $default_fb ]]'
else
    check "linuxfb without fb= waits for /dev/fb0" \
        '[[ $default_fb == "page-scope: /dev/fb0 did not appear within 1 s; starting without it" ]]'
fi

# Installed under another prefix, the unit and its settings name what that prefix holds.
other=$(mktemp -d)
trap 'rm -rf "$root" "$other"' EXIT
DESTDIR=$other cmake --install "$build_dir" --prefix /opt/page-scope --component viewer >/dev/null
other_unit=$other/lib/systemd/system/page-scope.service
named=("$(sed -n 's|^ExecStart=/bin/sh ||p' "${other_unit%.service}-devices.service")"
    "$(sed -n 's|^ExecStart=.* exec \([^ ]*\) .*|\1|p' "$other_unit")"
    "$(sed -n 's|^ExecStart=.*PAGE_SCOPE_DIRECTORY:-\([^}]*\)}.*|\1|p' "$other_unit")/images"
    "$(sed -n 's/^PAGE_SCOPE_DIRECTORY=//p' "$other/etc/default/page-scope")/images"
    "$(sed -n 's/^PAGE_SCOPE_DOCUMENT=//p' "$other/etc/default/page-scope")")
for path in "${named[@]}"; do
    check "under /opt/page-scope the service names $path, which is installed" \
        '[[ $path == /opt/page-scope/* && -e $other$path ]]'
done

echo "$failures failures"
[[ $failures -eq 0 ]]
