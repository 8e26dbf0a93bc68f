#!/bin/sh
# Runs at boot inside tst_bootvm.py's virtual machine and tells the test, one line at a time on
# a serial port, what systemd did with page-scope.service.
#   bootvm-probe DOCUMENT PORT ROOM DOCUMENT: whose trial open the kernel ends; PORT: the port's
#                                   node; ROOM: MiB that the unit's memory.high, and then the
#                                   commit limit, leave the viewer
# A virtio port is there once its driver has loaded.
udevadm wait --timeout=60 "$2"
exec >"$2" 2>&1

state() {
    systemctl show page-scope -p ActiveState -p Result -p NRestarts -p MainPID -p ExecMainStatus |
        tr '\n' ' '
}
active() {
    [ "$(systemctl is-active page-scope)" = active ]
}
# Until the viewer ends (the test's close key), three minutes at most.
wait_while_active() {
    tenths=0
    while active && [ $tenths -lt 1800 ]; do
        sleep 0.1
        tenths=$((tenths + 1))
    done
}
# The unit's last $1 lines of the journal, for the test's log.
journal_tail() {
    journalctl -b -u page-scope --no-pager -o short-monotonic | tail -n "$1" | sed 's/^/journal /'
}

# Started at boot by its enabled unit; the test then zooms with F7 and closes with F8.
tenths=0
until active || [ $tenths -ge 1200 ]; do
    sleep 0.1
    tenths=$((tenths + 1))
done
echo "started $(state)"
first=$(systemctl show -p MainPID --value page-scope)
# The display and input nodes that the viewer's user cannot open for reading and writing, as Qt
# and Mesa open them; the machine's second DRM device (vgem) has a render node, as a GPU has. And
# the framebuffer's bits a pixel.
uid=$(awk '/^Uid:/ { print $2 }' "/proc/$first/status")
gid=$(awk '/^Gid:/ { print $2 }' "/proc/$first/status")
groups=$(awk '/^Groups:/ { $1 = ""; print }' "/proc/$first/status" | xargs | tr ' ' ,)
unopened=
for node in /dev/fb0 /dev/dri/* /dev/input/event*; do
    [ -c "$node" ] || continue
    setpriv --reuid="$uid" --regid="$gid" --groups="$groups" sh -c ": <>$node" 2>/dev/null ||
        unopened="$unopened${unopened:+,}$node"
done
bpp=$(cat /sys/class/graphics/fb0/bits_per_pixel)
echo "devices uid=$uid groups=$groups unopened=$unopened bpp=$bpp"
# Meanwhile something writes to the panel's console, as the kernel or a login prompt would.
while :; do
    printf '\rconsole line %d' "$(date +%N)" >/dev/tty1
    sleep 0.3
done 2>/dev/null &
writer=$!
wait_while_active
kill $writer
# Long enough for a restart to show (RestartSec=2).
sleep 4
# What it wrote first, so that the test has it with the next line.
journalctl -b "_PID=$first" -o cat --no-pager | sed 's/^/output /'
echo "closed $(state)"

# The kernel's out-of-memory killer ends the trial open's child: held stopped once it has raised
# its score, so that the killer finds it there and chooses it.
sample=$(grep '^PAGE_SCOPE_DOCUMENT=' /etc/default/page-scope)
sed -i "s|^PAGE_SCOPE_DOCUMENT=.*|PAGE_SCOPE_DOCUMENT=$1|" /etc/default/page-scope
systemctl start page-scope
viewer=$(systemctl show -p MainPID --value page-scope)
child=
tries=0
while [ -z "$child" ] && [ $tries -lt 50000 ]; do
    # The list of children ends without a newline, so read's status says nothing.
    child='' score=''
    { read -r child _ <"/proc/$viewer/task/$viewer/children"; } 2>/dev/null
    [ -n "$child" ] && { read -r score <"/proc/$child/oom_score_adj"; } 2>/dev/null
    [ "$score" = 1000 ] || child=
    tries=$((tries + 1))
done
[ -n "$child" ] && kill -STOP "$child" && echo f >/proc/sysrq-trigger
sleep 8
journal=$(journalctl -b -u page-scope --no-pager)
ended=$(echo "$journal" | grep -c 'the kernel ended a trial of its open')
failed=$(echo "$journal" | grep -c 'Document is 0')
echo "trial viewer=$viewer child=$child lines=$ended failed=$failed $(state)"
journal_tail 40

# Starts the viewer on the sample again, says so on a line "$1-started", and waits for its line
# about the unmapped key that the test types once the page is shown. The test waits for that
# line first: until then the screen it reads can be the last viewer's.
restart_on_sample() {
    systemctl stop page-scope
    sed -i "s|^PAGE_SCOPE_DOCUMENT=.*|$sample|" /etc/default/page-scope
    systemctl start page-scope
    viewer=$(systemctl show -p MainPID --value page-scope)
    echo "$1-started viewer=$viewer"
    tenths=0
    until journalctl -b "_PID=$viewer" | grep -q 'UNKNOWN KEY CODE' || [ $tenths -ge 1200 ]; do
        sleep 0.1
        tenths=$((tenths + 1))
    done
}
# The headrooms of the viewer's renders in bands, once it has ended.
band_headrooms() {
    journalctl -b "_PID=$viewer" -o cat |
        sed -n 's/.* in bands of [0-9]* rows (headroom \([0-9.]*\) MiB)$/\1/p' | xargs | tr ' ' ,
}

# The sample under a memory.high of the unit's (systemd's MemoryHigh=), ROOM MiB above what the
# viewer holds with its page shown: the kernel does not end a process above it but throttles it,
# so the viewer renders within it as within a limit.
restart_on_sample high
group=/sys/fs/cgroup$(systemctl show -p ControlGroup --value page-scope)
high=$(($(cat "$group/memory.current") + ($3 << 20)))
systemctl set-property --runtime page-scope "MemoryHigh=$high"
echo "high set=$(cat "$group/memory.high") $(state)"
wait_while_active
echo "high-closed headrooms=$(band_headrooms) $(state)"
journal_tail 12
systemctl set-property --runtime page-scope MemoryHigh=infinity

# The sample where the system commits no more than it has (vm.overcommit_memory 2), as a device
# without swap may be set, with ROOM MiB left to commit: an allocation beyond it is refused
# however much memory is free.
restart_on_sample commit
committed=$(awk '/^Committed_AS:/ { print $2 }' /proc/meminfo)
echo $((committed + ($3 << 10))) >/proc/sys/vm/overcommit_kbytes
echo 2 >/proc/sys/vm/overcommit_memory
echo "commit $(grep -E '^Commit' /proc/meminfo | tr -d ' ' | xargs) $(state)"
wait_while_active
echo 0 >/proc/sys/vm/overcommit_memory
echo "commit-closed headrooms=$(band_headrooms) $(state)"
journal_tail 12

# The sample again on eglfs, with the settings' own eglfs lines: Qt's OpenGL composes the window
# on the DRM card, Mesa's drivers standing in for a GPU's. The machine's display prefers a larger
# mode than the panel's, which a device's panel does not offer, so eglfs is told the panel's. The
# panel is taken as mounted upside down, as the settings show: eglfs turns the picture, and their
# udev rule the touches.
systemctl stop page-scope
# Qt names the display's connector by its type and number: Virtual-1 is Virtual1.
for connector in /sys/class/drm/card[0-9]-*; do
    name=${connector#*/card[0-9]-}
    output=${name%-*}${name##*-}
    break
done
printf '%s\n' '{ "hwcursor": false, "outputs": [ { "name": "'"$output"'",' \
    '  "mode": "9 480 482 523 525 272 274 284 286 +hsync +vsync" } ] }' >/etc/page-scope-kms.json
sed -i -e "s|^PAGE_SCOPE_DOCUMENT=.*|$sample|" -e 's|^QT_QPA_PLATFORM=linuxfb|#&|' \
    -e 's|^#\(QT_QPA_PLATFORM=eglfs\)$|\1|' \
    -e 's/^#\(QT_QPA_EGLFS_\(PHYSICAL_\)\?\(WIDTH\|HEIGHT\|ROTATION\)=\)/\1/' \
    -e "\$aQT_QPA_EGLFS_KMS_CONFIG=/etc/page-scope-kms.json" /etc/default/page-scope
rules=/etc/udev/rules.d/60-touch-panel.rules
sed -n 's/^#   \(ENV{ID_INPUT_TOUCHSCREEN}.*\)$/\1/p' /etc/default/page-scope >$rules
udevadm control --reload
udevadm trigger --subsystem-match=input --action=change
udevadm settle
systemctl start page-scope
settings=$(sed -n 's/^\(QT_QPA_PLATFORM=\|QT_QPA_EGLFS_\)//p' /etc/default/page-scope | xargs | tr ' ' ,)
echo "eglfs settings=$settings rules=$(grep -c LIBINPUT_CALIBRATION_MATRIX $rules) $(state)"
wait_while_active
sleep 4
echo "eglfs-closed $(state)"
journal_tail 20
systemctl poweroff
