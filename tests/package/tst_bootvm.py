#!/usr/bin/env python3
"""Boots a Debian 12 virtual machine straight into the viewer, as a device does: systemd as init,
the boot service and its settings as this tree installs them, enabled; Qt's linuxfb platform on
the kernel's framebuffer, the keyboard and a single-touch panel (bootvm-touch-panel.cpp) read
through evdev; the kernel's out-of-memory killer ending a trial open, and zoom steps under a
memory.high of the unit's (cgroup v2) and under strict overcommit; then once more on eglfs, with
the settings' eglfs lines.
The test watches the screen, types keys through qemu's monitor and taps through a serial port; a
probe in the machine (bootvm-probe.sh) reports what systemd did.

  tst_bootvm.py --build BUILD_DIR --source SOURCE_DIR --test-documents MAKE_TEST_DOCUMENTS
                --touch-panel BOOTVM_TOUCH_PANEL [--arch armhf --emulator EMULATOR]

The machine is a PC for this machine's build, and ARM's virt board for an armhf build, whose
programs run here under EMULATOR (the build's CMAKE_CROSSCOMPILING_EMULATOR, words separated by
spaces).
Needs root (the staging mount) and qemu's system emulator for the board; exits 77 (skipped)
without them.
"""

import argparse
import os
import re
import shlex
import shutil
import socket
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

from check_installed_package import page_and_close_key_drawn, ppm_pixels

SKIPPED = 77
# Less than the 1 GiB of headroom under which the viewer tries a document's open in a child
# process first.
MEMORY_MIB = 768
# The document whose trial the kernel ends, long enough to open for the probe to catch its child.
TRIAL_DOCUMENT = "a4-10000.pdf"
# The panel's size in the settings; linuxfb centres it on a larger framebuffer.
PANEL = (480, 272)
# Inside the page view, away from the page-number overlay.
PAGE = (60, 40, 340, 200)
# Panel pixels to tap, in the default profile's layout: the zoom-out softkey, third in the left
# frame, and the vertical scroll bar's trough below its slider, which sits at the top of a page.
ZOOM_OUT_KEY = (25, 172)
TROUGH_BELOW_SLIDER = (420, 200)
# The room that the probe's memory.high, and then the commit limit it sets, leave the viewer with
# its page shown, and the zoom steps to 108 dpi, where the sample's page no longer fits whole
# within it.
ROOM_MIB = 24
STEPS_TO_BANDS = 6
# The settings' eglfs lines that the probe uncomments: the panel's size, and the picture turned.
EGLFS_SETTINGS = {"eglfs", "WIDTH=480", "HEIGHT=272", "PHYSICAL_WIDTH=95", "PHYSICAL_HEIGHT=54",
                  "ROTATION=180"}
# What the viewer writes when it starts on the sample without a profile; anything else is a
# warning, of Qt's or of a library's.
VIEWER_OWN_LINES = (r"Arguments: 3$|page-scope evaluating arg 'f' with value '.*'\.$|"
                    r"Using config file b7s\.conf$|Opening b7s\.conf FAILED! Using default B7 config!$")


@dataclass
class Board:
    """An emulated machine: qemu's options for its display, keyboard, disk and serial ports, the
    kernel's console, the ports in the machine that the probe and the touch panel use, and the
    bits a pixel of its framebuffer."""
    qemu: str
    options: tuple
    console: str
    probe_port: str
    touch_port: str
    depth: int
    modules: tuple = ()


BOARDS = {
    # A PC: a Cirrus VGA, whose kernel driver gives a framebuffer of 16 bits a pixel (RGB565), as
    # many small panels have; a PS/2 keyboard and three serial ports.
    "amd64": Board("qemu-system-x86_64",
                   ("-vga", "cirrus", "-drive", "file={image},format=raw,if=virtio",
                    "-serial", "file:{console}", "-serial", "file:{probe}",
                    "-serial", "unix:{touch},server=on,wait=off"),
                   "ttyS0", "/dev/ttyS1", "/dev/ttyS2", 16),
    # A 32-bit ARM system on a chip as qemu's virt board has it: its devices on virtio, one
    # serial port, and virtio's own ports for the probe and the panel.
    "armhf": Board("qemu-system-arm",
                   # Modern virtio: the kernel's GPU and input drivers take no legacy device.
                   ("-machine", "virt", "-cpu", "cortex-a15",
                    "-global", "virtio-mmio.force-legacy=false", "-device", "virtio-gpu-device",
                    "-device", "virtio-keyboard-device",
                    "-drive", "if=none,id=root,file={image},format=raw",
                    "-device", "virtio-blk-device,drive=root", "-serial", "file:{console}",
                    "-device", "virtio-serial-device",
                    "-chardev", "file,id=probe,path={probe}",
                    "-device", "virtserialport,chardev=probe,nr=1",
                    "-chardev", "socket,id=touch,path={touch},server=on,wait=off",
                    "-device", "virtserialport,chardev=touch,nr=2"),
                   "ttyAMA0", "/dev/vport0p1", "/dev/vport0p2", 32, ("virtio_console",)),
}


def run(command, **kwargs):
    return subprocess.run(command, check=True, text=True, capture_output=True, **kwargs).stdout


def enable(systemd, name, service):
    """Writes a unit that multi-user.target wants."""
    with open(os.path.join(systemd, name), "w") as unit:
        unit.write(service + "[Install]\nWantedBy=multi-user.target\n")
    os.symlink(f"/etc/systemd/system/{name}",
               os.path.join(systemd, "multi-user.target.wants", name))


def stage(root, board, build, source, document, touch_panel, work):
    """The boot root with this tree's viewer component installed into it, as an ext4 image."""
    merged = os.path.join(work, "merged")
    for directory in ("upper", "overlay-work", "merged"):
        os.makedirs(os.path.join(work, directory))
    run(["mount", "-t", "overlay", "overlay", "-o",
         f"lowerdir={root},upperdir={work}/upper,workdir={work}/overlay-work", merged])
    try:
        run(["cmake", "--install", build, "--prefix", "/usr", "--component", "viewer"],
            env=dict(os.environ, DESTDIR=merged))
        systemd = os.path.join(merged, "etc/systemd/system")
        os.makedirs(os.path.join(systemd, "multi-user.target.wants"), exist_ok=True)
        os.symlink("/lib/systemd/system/page-scope.service",
                   os.path.join(systemd, "multi-user.target.wants/page-scope.service"))
        # A second DRM device beside the display's, with a render node, as a system on a chip's
        # GPU is: Mesa opens that node to draw on eglfs.
        with open(os.path.join(merged, "etc/modules-load.d/bootvm.conf"), "w") as modules:
            modules.write("".join(f"{module}\n" for module in ("vgem",) + board.modules))
        # A device shows no login prompt on its panel, nor on the serial console the test reads.
        for getty in ("getty@tty1.service", f"serial-getty@{board.console}.service"):
            os.symlink("/dev/null", os.path.join(systemd, getty))
        shutil.copy(os.path.join(source, "tests/package/bootvm-probe.sh"),
                    os.path.join(merged, "usr/local/sbin/bootvm-probe"))
        target = f"/var/lib/page-scope-test/{TRIAL_DOCUMENT}"
        enable(systemd, "bootvm-probe.service", "[Service]\nType=exec\n"
               f"ExecStart=/bin/sh /usr/local/sbin/bootvm-probe {target} {board.probe_port} "
               f"{ROOM_MIB}\n")
        # The panel is there before the viewer starts, as a built-in driver's would be; its taps
        # come over a serial port of its own.
        shutil.copy(touch_panel, os.path.join(merged, "usr/local/sbin/bootvm-touch-panel"))
        enable(systemd, "bootvm-touch-panel.service",
               "[Unit]\nBefore=page-scope.service\n[Service]\nType=exec\n"
               f"ExecStartPre=/bin/udevadm wait --timeout=60 {board.touch_port}\n"
               # Opened once: a virtio port takes one opener.
               f"ExecStart=/bin/sh -c 'exec <>{board.touch_port} >&0 && "
               "{ [ ! -t 0 ] || stty raw -echo; } && exec /usr/local/sbin/bootvm-touch-panel'\n")
        os.makedirs(os.path.dirname(merged + target))
        shutil.copy(document, merged + target)
        image = os.path.join(work, "root.img")
        run(["mkfs.ext4", "-q", "-d", merged, image, "2G"])
        return image
    finally:
        run(["umount", merged])


class MachineOff(Exception):
    """The machine powered off while the test still drove it."""


class Machine:
    """The virtual machine: its monitor, its screen and the probe's lines."""

    def __init__(self, board, root, image, work):
        self.work = work
        self.probe = os.path.join(work, "probe.log")
        open(self.probe, "w").close()
        kernel = sorted(f for f in os.listdir(os.path.join(root, "boot")) if f.startswith("vmlinuz-"))
        version = kernel[-1][len("vmlinuz-"):]
        monitor = os.path.join(work, "monitor")
        touch_panel = os.path.join(work, "touch-panel")
        paths = dict(image=image, console=os.path.join(work, "console.log"), probe=self.probe,
                     touch=touch_panel)
        self.process = subprocess.Popen(
            [shutil.which(board.qemu), "-m", str(MEMORY_MIB), "-smp", "2", "-display", "none",
             "-nic", "none", "-no-reboot",
             "-kernel", os.path.join(root, "boot", kernel[-1]),
             "-initrd", os.path.join(root, "boot", f"initrd.img-{version}"),
             "-append", f"root=/dev/vda rw console={board.console} quiet",
             *(option.format(**paths) for option in board.options),
             "-monitor", f"unix:{monitor},server=on,wait=off"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.monitor = connect(monitor)
        self.answer()  # the monitor's greeting
        self.touch_panel = connect(touch_panel)
        self.touch_panel.settimeout(10)
        # A panel mounted upside down, with the picture turned to match and its touches by udev.
        self.turned = False

    def command(self, line):
        try:
            self.monitor.sendall(line.encode() + b"\n")
        except OSError as error:
            raise MachineOff from error
        return self.answer()

    def answer(self):
        answer = b""
        while not answer.endswith(b"(qemu) "):
            received = self.monitor.recv(4096)
            if not received:
                raise MachineOff
            answer += received
        return answer

    def tap(self, point):
        """Taps the touch panel at a panel pixel; false when the machine's panel did not."""
        if self.turned:
            point = (PANEL[0] - 1 - point[0], PANEL[1] - 1 - point[1])
        answer = b""
        try:
            self.touch_panel.sendall(f"{point[0]} {point[1]}\n".encode())
            while not answer.endswith(b"\n"):
                received = self.touch_panel.recv(100)
                if not received:
                    break
                answer += received
        except OSError:
            pass
        return answer.startswith(b"tapped")

    def screen(self):
        """Reads the framebuffer: a function that gives the pixels of an area of the panel."""
        return self.framebuffer()[0]

    def above_panel(self):
        """The framebuffer's rows above the panel, where the console's cursor is here."""
        return self.framebuffer()[1]

    def framebuffer(self):
        path = os.path.join(self.work, "screen.ppm")
        if os.path.exists(path):
            os.remove(path)
        self.command(f"screendump {path}")
        with open(path, "rb") as dump:
            data = dump.read()
        width, height = map(int, data.split()[1:3])
        left, top = (width - PANEL[0]) // 2, (height - PANEL[1]) // 2

        def pixels(area):
            x, y, w, h = area
            if self.turned:
                x, y = PANEL[0] - x - w, PANEL[1] - y - h
            return ppm_pixels(data, (left + x, top + y, w, h))
        return pixels, ppm_pixels(data, (0, 0, width, top))

    def probe_line(self, word, timeout):
        """The probe's line that starts with word, as a dict of its NAME=VALUE fields."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with open(self.probe, errors="replace") as lines:
                for line in lines:
                    if line.startswith(word + " "):
                        print(f"probe: {line.strip()}")
                        return dict(re.findall(r"(\w+)=(\S*)", line))
            time.sleep(0.5)
        return None

    def probe_lines(self, word):
        """What the probe has reported so far on lines that start with word."""
        with open(self.probe, errors="replace") as lines:
            return [line[len(word) + 1:].rstrip("\n") for line in lines
                    if line.startswith(word + " ")]

    def stop(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def connect(path):
    """Connects to a socket of qemu's once qemu has made it."""
    deadline = time.monotonic() + 30
    while True:
        connection = socket.socket(socket.AF_UNIX)
        try:
            connection.connect(path)
            return connection
        except OSError:
            connection.close()
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


def wait_for(condition, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.5)
    return False


def page_shown(machine):
    """Whether the page and the close softkey are drawn and stay so for a second: the loading
    notice over the page view, shown first, can pass for a page, and a key typed then would act
    on the page drawn after the check."""
    first = machine.screen()
    if not page_and_close_key_drawn(first):
        return False
    time.sleep(1)
    return machine.screen()(PAGE) == first(PAGE)


def key_changes_page(machine, key):
    """Types a key on the emulated keyboard; whether the page view changes within 30 s."""
    before = machine.screen()(PAGE)
    machine.command(f"sendkey {key}")
    return wait_for(lambda: machine.screen()(PAGE) != before, 30)


def zoom_tap_and_close(machine, check, closed_line, platform=""):
    """Zooms in with F7 and out with a tap, turns the page with a tap and ends the viewer with F8,
    which the probe reports on closed_line."""
    # Keys through the emulated keyboard, the kernel's evdev device and Qt's handler.
    check(key_changes_page(machine, "f7"), platform + "F7 zooms in")
    # Touches through the kernel's evdev device of a single-touch panel, as a resistive panel's
    # driver makes one, and the reader the settings give Qt.
    for point, action in ((ZOOM_OUT_KEY, "a tap on the zoom-out softkey zooms out"),
                          (TROUGH_BELOW_SLIDER, "a tap in the scroll bar's trough turns the page")):
        before = machine.screen()(PAGE)
        tapped = machine.tap(point)
        check(tapped and wait_for(lambda: machine.screen()(PAGE) != before, 10),
              platform + action + ("" if tapped else " (the machine's panel did not tap)"))
    machine.command("sendkey f8")
    closed = machine.probe_line(closed_line, 240) or {}
    check(closed.get("Result") == "success" and closed.get("ExecMainStatus") == "0" and
          closed.get("NRestarts") == "0" and closed.get("ActiveState") == "inactive",
          platform + "F8 ends the viewer with status 0, and the unit is not restarted")


def zoom_within(machine, check, word, limit):
    """Zooms in under a limit that the probe sets, and reports on its word line, once the viewer
    it has started again has written its line for an unmapped key, and ends the viewer with F8."""
    # Until the probe has started it, the screen is the last viewer's, perhaps still running.
    started = machine.probe_line(word + "-started", 240) is not None
    shown = started and wait_for(lambda: page_shown(machine), 120)
    machine.command("sendkey f12")
    zoomed = shown and machine.probe_line(word, 60) is not None
    for _ in range(STEPS_TO_BANDS):
        zoomed = key_changes_page(machine, "f7") and zoomed
    machine.command("sendkey f8")
    closed = machine.probe_line(word + "-closed", 240) or {}
    headrooms = [float(mib) for mib in closed.get("headrooms", "").split(",") if mib]
    # The group's file cache that the kernel drops first, and the heap that malloc holds free,
    # count as room too.
    check(zoomed and headrooms and max(headrooms) < ROOM_MIB + 8 and
          closed.get("ExecMainStatus") == "0",
          f"{limit} the viewer zooms in and renders in bands within it "
          f"(headrooms {headrooms or 'none'} MiB)")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--source", "--test-documents", "--touch-panel"):
        parser.add_argument(option, required=True)
    parser.add_argument("--arch", default=run(["dpkg", "--print-architecture"]).strip())
    parser.add_argument("--emulator", default="")
    args = parser.parse_args()
    board = BOARDS.get(args.arch)
    if os.geteuid() != 0:
        print("SKIPPED: staging the machine's root needs root (an overlay mount)")
        return SKIPPED
    if not board or not shutil.which(board.qemu):
        print(f"SKIPPED: no board for {args.arch}, or its emulator is not installed "
              f"({board.qemu if board else 'none'})")
        return SKIPPED
    made = subprocess.run(["bash", os.path.join(args.source, "tools/make-boot-root.sh"),
                           args.arch], text=True, capture_output=True)
    if made.returncode != 0:
        print(made.stderr)
        return 1
    root = made.stdout.strip().splitlines()[-1]

    failures = []

    def check(condition, message):
        print(("ok: " if condition else "FAILED: ") + message)
        if not condition:
            failures.append(message)

    with tempfile.TemporaryDirectory(prefix="page-scope-bootvm-") as work:
        document = os.path.join(work, TRIAL_DOCUMENT)
        run([*shlex.split(args.emulator), args.test_documents, "--a4", "10000",
             document], env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        image = stage(root, board, args.build, args.source, document, args.touch_panel, work)
        machine = Machine(board, root, image, work)
        try:
            started = machine.probe_line("started", 240)
            check(started is not None and started.get("ActiveState") == "active",
                  "the enabled service starts the viewer at boot")
            devices = machine.probe_line("devices", 30) or {}
            check(devices.get("uid") and devices.get("unopened") == "",
                  "the viewer's user may open the framebuffer, the DRM devices' nodes and the "
                  f"input devices: {devices}")
            check(devices.get("bpp") == str(board.depth),
                  f"the framebuffer has {board.depth} bits a pixel ({devices.get('bpp')})")
            check(wait_for(lambda: page_shown(machine), 60),
                  "the sample's page and the close softkey are on the framebuffer")
            # Nothing else draws: the kernel's console has left the framebuffer to the viewer,
            # though the probe writes to it every 300 ms.
            first, deadline, drawn_over = machine.above_panel(), time.monotonic() + 4, False
            while not drawn_over and time.monotonic() < deadline:
                drawn_over = machine.above_panel() != first
            check(not drawn_over,
                  "the console's text and cursor are not drawn in the framebuffer")
            zoom_tap_and_close(machine, check, "closed")
            output = machine.probe_lines("output")
            unexpected = [line for line in output if not re.match(VIEWER_OWN_LINES, line)]
            check("Arguments: 3" in output and not unexpected,
                  f"the viewer wrote only its own lines at boot: {unexpected or output}")
            trial = machine.probe_line("trial", 240) or {}
            check(bool(trial.get("child")), "the probe caught the trial open's child")
            check(trial.get("NRestarts") == "0" and trial.get("ActiveState") == "active" and
                  trial.get("MainPID") == trial.get("viewer") and trial.get("lines") == "1",
                  "the kernel ended the trial's child; the viewer said so and carried on")
            check(trial.get("failed") == "1", "the viewer's standard output is in the journal")
            zoom_within(machine, check, "high", "under the unit's memory.high")
            zoom_within(machine, check, "commit", "where the system commits no more than it has,")
            eglfs = machine.probe_line("eglfs", 60) or {}
            check(EGLFS_SETTINGS <= set(eglfs.get("settings", "").split(",")) and
                  eglfs.get("rules") == "1" and eglfs.get("ActiveState") == "active",
                  "the viewer starts again with the settings' eglfs lines, the picture turned, "
                  "and their udev rule that turns the touches")
            machine.turned = True
            check(wait_for(lambda: page_shown(machine), 120),
                  "on eglfs, upside down, the sample's page and the close softkey are on the screen")
            zoom_tap_and_close(machine, check, "eglfs-closed", "on eglfs, upside down, ")
            check(machine.stop(120) == 0, "the machine powered off")
        except MachineOff:
            check(False, "the machine stayed on until the test was done (see the probe's lines)")
        finally:
            machine.stop(0)
            if failures:
                with open(machine.probe, errors="replace") as probe:
                    print("probe:\n" + probe.read()[-6000:])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
