#!/bin/sh
# Runs at boot inside tst_bootvm.py's virtual machine and tells the test, one line at a time on
# a serial port, what systemd did with page-scope.service.
#   bootvm-probe DOCUMENT PORT      DOCUMENT: whose trial open the kernel ends; PORT: the port's node
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

# Started at boot by its enabled unit; the test then zooms with F7 and closes with F8.
tenths=0
until active || [ $tenths -ge 1200 ]; do
    sleep 0.1
    tenths=$((tenths + 1))
done
echo "started $(state)"
first=$(systemctl show -p MainPID --value page-scope)
# The display and input nodes that the viewer's user cannot open for reading and writing, as Qt
# and Mesa open them; the machine's second DRM device (vgem) has a render node, as a GPU has.
uid=$(awk '/^Uid:/ { print $2 }' "/proc/$first/status")
gid=$(awk '/^Gid:/ { print $2 }' "/proc/$first/status")
groups=$(awk '/^Groups:/ { $1 = ""; print }' "/proc/$first/status" | xargs | tr ' ' ,)
unopened=
for node in /dev/fb0 /dev/dri/* /dev/input/event*; do
    [ -c "$node" ] || continue
    setpriv --reuid="$uid" --regid="$gid" --groups="$groups" sh -c ": <>$node" 2>/dev/null ||
        unopened="$unopened${unopened:+,}$node"
done
echo "devices uid=$uid groups=$groups unopened=$unopened"
# Meanwhile something writes to the panel's console, as the kernel or a login prompt would.
while :; do
    printf '\rconsole line %d' "$(date +%N)" >/dev/tty1
    sleep 0.3
done 2>/dev/null &
writer=$!
tenths=0
while active && [ $tenths -lt 1800 ]; do
    sleep 0.1
    tenths=$((tenths + 1))
done
kill $writer
# Long enough for a restart to show (RestartSec=2).
sleep 4
# What it wrote first, so that the test has it with the next line.
journalctl -b "_PID=$first" -o cat --no-pager | sed 's/^/output /'
echo "closed $(state)"

# The kernel's out-of-memory killer ends the trial open's child: held stopped once it has raised
# its score, so that the killer finds it there and chooses it.
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
journalctl -b -u page-scope --no-pager -o short-monotonic | tail -40 | sed 's/^/journal /'
systemctl poweroff
