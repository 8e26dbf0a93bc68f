#!/usr/bin/env python3
"""Builds the Debian packages of a build tree, unpacks them into a scratch root and runs the
installed viewer from its installed data directory under a private Xvfb screen.

  check_installed_package.py --cpack CPACK --config BUILD/CPackConfig.cmake

Checks:
  - both packages are built, and their Depends fields name the libraries the viewer and the
    plugin need (Poppler's and Qt's, computed by dpkg-shlibdeps) and the run-time extras;
  - the viewer package holds the executable, icons, profiles, sample, manual page and
    copyright, and nothing points back into the build tree;
  - the installed viewer, started from /usr/share/page-scope of the scratch root on the
    installed sample, prints its "Arguments: " line, shows its window with the page and the
    close softkey's icon drawn, and quits with status 0 on F8;
  - with the automation package unpacked as well and its library directory on the loader's
    path, the same viewer loads the plugin at start-up.
Exits 0 when all checks pass, 1 otherwise.
"""

import argparse
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SCREEN_WIDTH, SCREEN_HEIGHT = 480, 272
# With the default device the page view is at 52, 0, 353 x 257 and the close softkey is the
# top slot of the left column, 53 pixels wide.
PAGE_AREA = (60, 8, 340, 240)
CLOSE_SOFTKEY_AREA = (0, 0, 53, 60)
CLOSE_ICON_RED = (0xD3, 0x2F, 0x2F)
ICONS = ("1270668950.svg", "cancel.svg", "ZoomIn.svg", "ZoomOut.svg")

failures = []


def check(condition, message):
    if condition:
        print(f"ok: {message}")
    else:
        print(f"FAILED: {message}")
        failures.append(message)
    return condition


def run(command, **kwargs):
    return subprocess.run(command, check=True, text=True, capture_output=True, **kwargs).stdout


def depends_names(deb):
    field = run(["dpkg-deb", "-f", deb, "Depends"])
    names = set()
    for item in field.split(","):
        for alternative in item.split("|"):
            names.add(alternative.strip().split(" ")[0])
    return field.strip(), names


def build_packages(args, work):
    out = os.path.join(work, "packages")
    started = time.monotonic()
    result = subprocess.run([args.cpack, "-G", "DEB", "--config", args.config, "-B", out],
                            text=True, capture_output=True)
    print(f"cpack finished in {time.monotonic() - started:.0f} s")
    if result.returncode != 0:
        print(result.stdout + result.stderr)
        raise SystemExit("cpack failed")
    debs = {}
    for name in os.listdir(out):
        match = re.match(r"^(page-scope(?:-automation)?)_[^_]+_[^_]+\.deb$", name)
        if match:
            debs[match.group(1)] = os.path.join(out, name)
    return debs


def read_screen(display):
    """Returns (width, height, rgb bytes) of the whole X screen."""
    data = subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8", "ppm:-"],
                          check=True, capture_output=True).stdout
    # Binary PPM: "P6", width, height, maximum value, each followed by white space.
    fields = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        start = position
        while not data[position:position + 1].isspace():
            position += 1
        fields.append(data[start:position])
    position += 1
    if fields[0] != b"P6" or fields[3] != b"255":
        raise RuntimeError(f"unexpected screenshot header {fields}")
    return int(fields[1]), int(fields[2]), data[position:]


def pixels(screen, area):
    width, _, rgb = screen
    x0, y0, w, h = area
    for y in range(y0, y0 + h):
        row = (y * width + x0) * 3
        for x in range(w):
            yield tuple(rgb[row + 3 * x:row + 3 * x + 3])


def distinct_colours(screen, area):
    return len(set(pixels(screen, area)))


def has_colour(screen, area, colour, tolerance=40):
    return any(all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))
               for pixel in pixels(screen, area))


class Xvfb:
    def __init__(self, work):
        self.log = open(os.path.join(work, "xvfb.log"), "w")
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
             f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=self.log, stderr=self.log)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            self.stop()
            raise SystemExit("Xvfb did not report a display")
        self.display = f":{number}"

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


class Viewer:
    def __init__(self, root, display, arguments, work, tag, library_path=None):
        self.output_path = os.path.join(work, f"{tag}.stdout")
        self.errors_path = os.path.join(work, f"{tag}.stderr")
        runtime = os.path.join(work, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        environment = dict(os.environ, XDG_RUNTIME_DIR=runtime)
        for variable in ("LD_LIBRARY_PATH", "QT_QPA_PLATFORM", "QT_PLUGIN_PATH", "WAYLAND_DISPLAY"):
            environment.pop(variable, None)
        environment["DISPLAY"] = display
        environment["QT_QPA_PLATFORM"] = "xcb"
        if library_path:
            environment["LD_LIBRARY_PATH"] = library_path
        self.output = open(self.output_path, "w")
        self.errors = open(self.errors_path, "w")
        self.process = subprocess.Popen(
            [os.path.join(root, "usr/bin/page-scope")] + arguments,
            cwd=os.path.join(root, "usr/share/page-scope"), env=environment,
            stdout=self.output, stderr=self.errors)
        self.display = display

    def lines(self):
        self.output.flush()
        with open(self.output_path) as reader:
            return reader.read().splitlines()

    def window(self, timeout=30):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return None
            found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^PDFViewer$"],
                                   env=dict(os.environ, DISPLAY=self.display),
                                   text=True, capture_output=True)
            if found.returncode == 0 and found.stdout.split():
                return found.stdout.split()[0]
            time.sleep(0.25)
        return None

    def close_with_f8(self, window, timeout=15):
        environment = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=environment,
                       capture_output=True)
        subprocess.run(["xdotool", "key", "F8"], env=environment, capture_output=True)
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.output.close()
        self.errors.close()
        with open(self.errors_path) as reader:
            errors = reader.read().strip()
        if errors:
            print("viewer standard error:\n  " + errors.replace("\n", "\n  "))


def check_viewer_package(deb, root, version):
    depends, names = depends_names(deb)
    print(f"page-scope Depends: {depends}")
    check(any(re.match(r"^libpoppler-qt5-\d+$", name) for name in names),
          "page-scope depends on Poppler's Qt 5 library")
    for library in ("libqt5core5a", "libqt5gui5", "libqt5widgets5"):
        check(library in names, f"page-scope depends on {library}")
    for extra in ("libqt5svg5", "fonts-dejavu-core"):
        check(extra in names, f"page-scope depends on {extra}")
    check(run(["dpkg-deb", "-f", deb, "Version"]).strip() == version,
          f"page-scope has version {version}")

    run(["dpkg", "-x", deb, root])
    binary = os.path.join(root, "usr/bin/page-scope")
    check(os.access(binary, os.X_OK), "usr/bin/page-scope is installed and executable")
    data = os.path.join(root, "usr/share/page-scope")
    for icon in ICONS:
        check(os.path.isfile(os.path.join(data, "images", icon)), f"images/{icon} is installed")
    check(any(name.endswith(".conf") for name in os.listdir(os.path.join(data, "profiles"))),
          "example profiles are installed")
    check(os.path.isfile(os.path.join(data, "sample/page-scope-guide.pdf")),
          "the sample document is installed")
    manual = os.path.join(root, "usr/share/man/man1/page-scope.1.gz")
    with gzip.open(manual, "rt") as reader:
        check(reader.readline().startswith(".TH PAGE\\-SCOPE 1"), "the manual page is installed")
    check(os.path.isfile(os.path.join(root, "usr/share/doc/page-scope/copyright")),
          "the copyright file is installed")
    dynamic = run(["readelf", "-d", binary])
    check("RPATH" not in dynamic and "RUNPATH" not in dynamic,
          "the installed viewer carries no run path into the build tree")


def run_viewer(root, xvfb, work):
    viewer = Viewer(root, xvfb.display, ["-f", "sample/page-scope-guide.pdf"], work, "viewer")
    try:
        window = viewer.window()
        check(window is not None, "the installed viewer's window appears")
        if window is None:
            print("\n".join(viewer.lines()))
            return

        # The page is loaded from the event loop; wait until it and the icon are drawn.
        page_drawn = icon_drawn = False
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not (page_drawn and icon_drawn):
            screen = read_screen(xvfb.display)
            page_drawn = distinct_colours(screen, PAGE_AREA) > 8
            icon_drawn = has_colour(screen, CLOSE_SOFTKEY_AREA, CLOSE_ICON_RED)
            time.sleep(0.5)
        subprocess.run(["import", "-display", xvfb.display, "-window", "root",
                        os.path.join(work, "viewer.png")], capture_output=True)
        check(page_drawn, "the installed sample's first page is drawn")
        check(icon_drawn, "the close softkey shows its icon from the installed images/")

        status = viewer.close_with_f8(window)
        check(status == 0, f"F8 quits the installed viewer with status 0 (status {status})")
        lines = viewer.lines()
        print("viewer output:\n  " + "\n  ".join(lines))
        check(bool(lines) and lines[0] == "Arguments: 3",
              "the first line is 'Arguments: 3' (no automation plugin on the loader's path)")
        check("Using config file b7s.conf" in lines, "the profile is looked up as b7s.conf")
        check(not any(line.startswith("Document is") for line in lines),
              "the sample document loads without a failure line")
    finally:
        viewer.stop()


def check_automation_package(deb, root, xvfb, work, version):
    depends, names = depends_names(deb)
    print(f"page-scope-automation Depends: {depends}")
    check(f"page-scope (= {version})" in depends, "page-scope-automation depends on page-scope")
    for library in ("libqt5core5a", "libqt5network5", "libqt5widgets5"):
        check(library in names, f"page-scope-automation depends on {library}")

    run(["dpkg", "-x", deb, root])
    found = [os.path.join(directory, "libSquishPlugin.so.1")
             for directory, _, files in os.walk(os.path.join(root, "usr/lib"))
             if "libSquishPlugin.so.1" in files]
    if not check(len(found) == 1 and re.search(r"/usr/lib/[a-z0-9_]+-linux-gnu[a-z0-9_]*/", found[0]),
                 f"libSquishPlugin.so.1 is in the multiarch library directory ({found})"):
        return

    viewer = Viewer(root, xvfb.display, [], work, "automation",
                    library_path=os.path.dirname(found[0]))
    try:
        window = viewer.window()
        check(window is not None, "the viewer's window appears with the plugin installed")
        status = viewer.close_with_f8(window) if window else None
        check(status == 0, f"F8 quits the viewer with the plugin loaded (status {status})")
        lines = viewer.lines()
        print("viewer output:\n  " + "\n  ".join(lines))
        # The port may be taken by another program on this machine; loading is what counts.
        check(lines[:2] == ["Squish Plugin loaded", "Squish Plugin Initialized"],
              "the installed plugin is loaded and initialised at start-up")
        check(len(lines) > 3 and lines[2] in ("Squish opened Port: 5014",
                                              "Squish FAILED to open Port: 5014")
              and lines[3] == "Arguments: 1",
              "the plugin reports its port before the 'Arguments: ' line")
    finally:
        viewer.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--config", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--keep", action="store_true", help="keep the scratch directory")
    args = parser.parse_args()

    missing = [tool for tool in ("dpkg-deb", "dpkg", "readelf", "Xvfb", "xdotool", "import")
               if shutil.which(tool) is None]
    if missing:
        print(f"missing tools: {' '.join(missing)} (tools/install-dependencies.sh installs them)")
        return 1

    work = tempfile.mkdtemp(prefix="page-scope-package-")
    xvfb = None
    try:
        debs = build_packages(args, work)
        if not check(set(debs) == {"page-scope", "page-scope-automation"},
                     f"cpack built both packages ({sorted(debs)})"):
            return 1
        root = os.path.join(work, "root")
        check_viewer_package(debs["page-scope"], root, args.version)
        xvfb = Xvfb(work)
        run_viewer(root, xvfb, work)
        check_automation_package(debs["page-scope-automation"], root, xvfb, work, args.version)
    finally:
        if xvfb:
            xvfb.stop()
        if args.keep:
            print(f"scratch directory kept: {work}")
        else:
            shutil.rmtree(work, ignore_errors=True)

    if failures:
        print(f"{len(failures)} check(s) failed")
        return 1
    print("all package checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
