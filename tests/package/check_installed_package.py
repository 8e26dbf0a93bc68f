#!/usr/bin/env python3
"""Builds the Debian packages of a build tree, unpacks both with dpkg -x and runs the unpacked
viewer on the unpacked sample under a private Xvfb. Of the boot service only what the package
adds is checked (tst_bootservice checks the installed files).

  check_installed_package.py --cpack CPACK --config BUILD/CPackConfig.cmake --version VERSION
"""

import argparse
import glob
import os
import re
import subprocess
import sys
import tempfile
import time

# With the default device the page view is at 52, 0, 353 x 257 and the close softkey, a red
# cross, is the top slot of the left column.
PAGE_AREA = (60, 8, 340, 240)
CLOSE_SOFTKEY_AREA = (0, 0, 53, 60)
CLOSE_ICON_RED = (0xD3, 0x2F, 0x2F)


def run(command, **kwargs):
    return subprocess.run(command, check=True, text=True, capture_output=True, **kwargs).stdout


def depends(deb):
    field = run(["dpkg-deb", "-f", deb, "Depends"])
    return {alternative.split()[0] for alternative in re.split(r"[,|]", field) if alternative.strip()}


def ppm_pixels(data, area):
    """The pixels of an area of a binary PPM picture, row by row, as (r, g, b)."""
    header = re.match(rb"P6\s+(\d+)\s+\d+\s+255\s", data)
    width, rgb = int(header.group(1)), data[header.end():]
    x0, y0, w, h = area
    return [tuple(rgb[3 * (y * width + x):3 * (y * width + x) + 3])
            for y in range(y0, y0 + h) for x in range(x0, x0 + w)]


def screen_pixels(display, area):
    return ppm_pixels(subprocess.run(["import", "-display", display, "-window", "root", "-depth", "8",
                                      "ppm:-"], check=True, capture_output=True).stdout, area)


def page_and_close_key_drawn(pixels_of):
    """Whether the default device's page view shows more than a blank page and the close softkey
    its red cross, on a screen read by pixels_of(area)."""
    return (len(set(pixels_of(PAGE_AREA))) > 8 and
            any(all(abs(a - b) <= 40 for a, b in zip(pixel, CLOSE_ICON_RED))
                for pixel in pixels_of(CLOSE_SOFTKEY_AREA)))


def check_installed(work, version):
    failures = []

    def check(condition, message):
        print(("ok: " if condition else "FAILED: ") + message)
        if not condition:
            failures.append(message)

    debs = {name: glob.glob(os.path.join(work, f"packages/{name}_{version}*.deb"))
            for name in ("page-scope", "page-scope-automation")}
    check(all(len(found) == 1 for found in debs.values()), f"cpack built both packages: {debs}")
    viewer_depends = depends(debs["page-scope"][0])
    print(f"page-scope depends on {sorted(viewer_depends)}")
    check(any(re.match(r"libpoppler-qt5-\d+$", name) for name in viewer_depends),
          "page-scope depends on Poppler's Qt 5 library")
    check({"libqt5core5a", "libqt5gui5", "libqt5widgets5", "libqt5svg5"} <= viewer_depends,
          "page-scope depends on Qt's libraries")
    check("libqt5network5" in depends(debs["page-scope-automation"][0]),
          "page-scope-automation depends on Qt's network library")

    control = os.path.join(work, "control")
    run(["dpkg-deb", "-e", debs["page-scope"][0], control])
    conffiles = open(os.path.join(control, "conffiles")).read().split() \
        if os.path.exists(os.path.join(control, "conffiles")) else []
    check(conffiles == ["/etc/default/page-scope"], f"the settings are its only conffile: {conffiles}")
    scripts = "".join(open(os.path.join(control, name)).read()
                      for name in ("preinst", "postinst") if os.path.exists(os.path.join(control, name)))
    check("systemctl" not in scripts and "deb-systemd-helper" not in scripts,
          "no maintainer script enables or starts the service")

    root = os.path.join(work, "root")
    for found in debs.values():
        run(["dpkg", "-x", found[0], root])
    plugin = glob.glob(os.path.join(root, "usr/lib/*-linux-gnu*/libSquishPlugin.so.1"))
    check(len(plugin) == 1, "the plugin is in the multiarch library directory")

    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "480x272x24", "-nolisten",
                             "tcp"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    display = ":" + xvfb.stdout.readline().strip()
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("QT_PLUGIN_PATH", "WAYLAND_DISPLAY")}
    environment.update(DISPLAY=display, QT_QPA_PLATFORM="xcb",
                       LD_LIBRARY_PATH=os.path.dirname(plugin[0]) if plugin else "")
    with open(os.path.join(work, "out"), "w+") as output, open(os.path.join(work, "err"), "w+") as errors:
        viewer = subprocess.Popen([os.path.join(root, "usr/bin/page-scope"), "-f",
                                   "sample/page-scope-guide.pdf"],
                                  cwd=os.path.join(root, "usr/share/page-scope"), env=environment,
                                  stdout=output, stderr=errors)
        try:
            drawn = False
            deadline = time.monotonic() + 30
            while not drawn and time.monotonic() < deadline and viewer.poll() is None:
                time.sleep(0.5)
                drawn = page_and_close_key_drawn(lambda area: screen_pixels(display, area))
            check(drawn, "the sample's page and the close softkey's icon are drawn")
            subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^PDFViewer$",
                            "windowfocus", "--sync", "key", "F8"],
                           env=dict(environment, DISPLAY=display), capture_output=True, timeout=15)
            status = viewer.wait(15)
        except subprocess.TimeoutExpired:
            status = None
        finally:
            viewer.kill()
            viewer.wait()
            xvfb.kill()
            xvfb.wait()
        output.seek(0)
        errors.seek(0)
        lines = output.read().splitlines()
        print("viewer output:\n  " + "\n  ".join(lines + errors.read().splitlines()))
    check(status == 0, f"F8 quits the viewer with status 0 (status {status})")
    check(lines[:2] == ["Squish Plugin loaded", "Squish Plugin Initialized"],
          "the unpacked plugin is loaded at start-up")
    check(not any(line.startswith("Document is") for line in lines), "the sample loads")
    return not failures


def main():
    parser = argparse.ArgumentParser()
    for option in ("--cpack", "--config", "--version"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="page-scope-package-") as work:
        try:
            run([args.cpack, "-G", "DEB", "--config", args.config, "-B", os.path.join(work, "packages")])
        except subprocess.CalledProcessError as error:
            print(error.stdout + error.stderr)
            return 1
        return 0 if check_installed(work, args.version) else 1


if __name__ == "__main__":
    sys.exit(main())
