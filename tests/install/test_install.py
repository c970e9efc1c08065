#!/usr/bin/env python3
"""Installs the build into a temporary DESTDIR and checks the result as a desktop would use it:
the exact set of files, the desktop entry and AppStream metadata with their validators, the
manual pages and the shell completion, the installed client showing its main window offscreen,
the installed stand-in answering a transcode call, and the installed command-line program
transcoding a file through it."""

import argparse
import base64
import configparser
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.request
import xml.etree.ElementTree as ET

APP_ID = "com.korvane.QuorraClient"
ICON_SIZES = (48, 64, 128, 256)
EXPECTED = {
    "usr/bin/korvanequorraclient",
    "usr/bin/quorra-standin",
    "usr/bin/quorra-transcode",
    "usr/share/bash-completion/completions/quorra-transcode",
    f"usr/share/applications/{APP_ID}.desktop",
    f"usr/share/metainfo/{APP_ID}.metainfo.xml",
    f"usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    "usr/share/man/man1/korvanequorraclient.1",
    "usr/share/man/man1/quorra-standin.1",
    "usr/share/man/man1/quorra-transcode.1",
    "usr/lib/systemd/user/quorra-standin.service",
} | {f"usr/share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in ICON_SIZES}

# Qt logs this when it paints a shown top-level widget into its window's backing store; an
# unshown window is never painted, so the line proves the main window was really put up.
MAIN_WINDOW_PAINTED = re.compile(r'Drawing QRegion\(.*\) of kqc::Form1\(.*name="Form1"\).*DrawAsRoot')

REQUEST = """<?xml version="1.0" encoding="UTF-8" ?>
<soapenv:Envelope xmlns:soapenv="http://schemas.xmlsoap.org/soap/envelope/"
 xmlns:xsd="http://www.w3.org/2001/XMLSchema"
 xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<soapenv:Body>
<ns1:transcode xmlns:ns1="http://www.korvane.com/quorra/MediaAdapter">
<in0><transactionID /><request>
<source><type>audio</type><format>mp3</format><codec>mp3</codec><fileData>{data}</fileData></source>
<target><profileID /><profile><audio><fileFormat>mp4</fileFormat><codec>aac</codec>
<bitRate>16000</bitRate><channels>Mono</channels><durationLimit>-1</durationLimit>
<samplingRate>22050</samplingRate><samplingResolution>0</samplingResolution></audio></profile></target>
<additionalData /></request></in0>
</ns1:transcode>
</soapenv:Body>
</soapenv:Envelope>"""

ARGS = None


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


class InstallTree(unittest.TestCase):
    SOURCE = b"kqc install check \x00\xff"

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="kqc-install-")
        cls.root = os.path.join(cls.tmp.name, "root")
        env = dict(os.environ, DESTDIR=cls.root)
        done = run(ARGS.cmake, "--install", ARGS.build_dir, "--prefix", "/usr", env=env)
        if done.returncode != 0:
            raise RuntimeError("cmake --install failed:\n" + done.stdout + done.stderr)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def path(self, relative):
        return os.path.join(self.root, relative)

    def desktop_entry(self):
        entry = configparser.ConfigParser(interpolation=None)
        entry.optionxform = str
        entry.read(self.path(f"usr/share/applications/{APP_ID}.desktop"), encoding="utf-8")
        return entry["Desktop Entry"]

    def test_holds_exactly_the_programs_and_their_data(self):
        found = set()
        for folder, _, files in os.walk(self.root):
            found |= {os.path.relpath(os.path.join(folder, f), self.root) for f in files}
        self.assertEqual(found, EXPECTED)
        for program in ("usr/bin/korvanequorraclient", "usr/bin/quorra-standin",
                        "usr/bin/quorra-transcode"):
            self.assertTrue(os.access(self.path(program), os.X_OK), program)

    def test_icons_have_their_theme_sizes(self):
        for n in ICON_SIZES:
            with open(self.path(f"usr/share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png"), "rb") as f:
                head = f.read(24)
            self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n")
            self.assertEqual(struct.unpack(">II", head[16:24]), (n, n))

    def test_desktop_entry_and_metainfo_validate_and_agree(self):
        desktop = self.path(f"usr/share/applications/{APP_ID}.desktop")
        metainfo = self.path(f"usr/share/metainfo/{APP_ID}.metainfo.xml")
        checked = run("desktop-file-validate", desktop)
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))
        checked = run("appstreamcli", "validate", "--no-net", "--no-color", metainfo)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)

        entry = self.desktop_entry()
        self.assertEqual(entry["Name"], "Korvane Quorra Client")
        self.assertTrue(os.path.exists(self.path("usr/bin/" + entry["Exec"])), entry["Exec"])
        self.assertEqual(entry["Icon"], APP_ID)
        component = ET.parse(metainfo).getroot()
        self.assertEqual(component.findtext("id"), APP_ID)
        self.assertEqual(component.findtext("launchable"), f"{APP_ID}.desktop")
        self.assertEqual(component.findtext("project_license"), "MIT")
        self.assertEqual([r.get("version") for r in component.iter("release")], ["1.0.0"])

    def test_manual_pages_format_cleanly_and_cover_every_option(self):
        pages = {}
        for name in ("korvanequorraclient", "quorra-standin", "quorra-transcode"):
            page = run("man", "--warnings", "-l", self.path(f"usr/share/man/man1/{name}.1"),
                       env=dict(os.environ, MANWIDTH="200", MAN_KEEP_FORMATTING="", LC_ALL="C.UTF-8"))
            self.assertEqual((page.returncode, page.stderr), (0, ""), name)
            pages[name] = page.stdout
        self.assertIn("/KorvaneQuorraClient.log", pages["korvanequorraclient"])
        for program, known in (("quorra-standin", "--port"), ("quorra-transcode", "--jobs")):
            usage = run(self.path("usr/bin/" + program), "--help")
            self.assertEqual(usage.returncode, 0, program)
            options = set(re.findall(r"^\s+(?:-\w, )?(--[a-z-]+)", usage.stdout, re.MULTILINE))
            self.assertIn(known, options)
            for option in options:
                self.assertRegex(pages[program], r"(?m)^\s+(-\w, )?" + re.escape(option) + r"\b")

    def test_bash_completion_offers_the_options(self):
        script = self.path("usr/share/bash-completion/completions/quorra-transcode")
        offered = run("bash", "-c", f'source "{script}"; COMP_WORDS=(quorra-transcode --jo); '
                      "COMP_CWORD=1; _quorra_transcode; echo ${COMPREPLY[*]}")
        self.assertEqual((offered.returncode, offered.stdout), (0, "--jobs\n"))

    @unittest.skipUnless(shutil.which("systemd-analyze"), "systemd-analyze is not installed")
    def test_user_unit_verifies_with_the_installed_standin(self):
        with open(self.path("usr/lib/systemd/user/quorra-standin.service")) as f:
            unit = f.read()
        # The program the unit starts, taken from the install tree instead of systemd's path.
        unit = re.sub(r"(?m)^ExecStart=(?:\S*/)?(\S+)",
                      lambda m: "ExecStart=" + self.path("usr/bin/" + m.group(1)), unit)
        copy = os.path.join(self.tmp.name, "quorra-standin.service")
        with open(copy, "w") as f:
            f.write(unit)
        checked = run("systemd-analyze", "verify", "--man=no", copy)
        self.assertEqual((checked.returncode, checked.stdout + checked.stderr), (0, ""))

    def test_installed_client_shows_its_main_window_offscreen(self):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TMPDIR=self.tmp.name,
                   XDG_CONFIG_HOME=self.tmp.name,
                   QT_FORCE_STDERR_LOGGING="1", QT_LOGGING_RULES="qt.widgets.painting=true")
        with subprocess.Popen([self.path("usr/bin/korvanequorraclient")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                              text=True) as client:
            painted, running = self.watch_for_main_window(client)
        self.assertTrue(painted, "the main window was never painted")
        self.assertTrue(running, f"the client ended by itself with {client.returncode}")

    @staticmethod
    def watch_for_main_window(client):
        painted = threading.Event()

        def watch():
            for line in client.stderr:
                if MAIN_WINDOW_PAINTED.search(line):
                    painted.set()

        watcher = threading.Thread(target=watch, daemon=True)
        watcher.start()
        try:
            # A bound for a hung client only; the window usually paints within a second.
            painted.wait(timeout=120)
            running = client.poll() is None
        finally:
            if client.poll() is None:
                client.send_signal(signal.SIGTERM)
            client.wait(timeout=60)
            watcher.join(timeout=60)
        return painted.is_set(), running

    def test_installed_standin_answers_a_transcode_call(self):
        command = [self.path("usr/bin/quorra-standin"), "--port", "0", "--engine", "echo",
                   "--quiet"]
        with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True) as standin:
            status, reply = self.call_standin(standin)
        self.assertEqual(status, 200)
        self.assertIn('<returnCode xsi:type="xsd:int">0</returnCode>', reply)
        data = re.search(r"<fileData[^>]*>([^<]*)</fileData>", reply)
        self.assertIsNotNone(data, reply)
        self.assertEqual(base64.b64decode(data.group(1)), self.SOURCE)
        self.assertEqual(standin.returncode, 0, "the stand-in did not stop cleanly on SIGTERM")

    def test_installed_transcoder_saves_a_file_through_the_installed_standin(self):
        work = os.path.join(self.tmp.name, "transcode")
        os.makedirs(os.path.join(work, "out"))
        with open(os.path.join(work, "song.mp3"), "wb") as f:
            f.write(self.SOURCE)
        command = [self.path("usr/bin/quorra-standin"), "--port", "0", "--engine", "echo",
                   "--quiet"]
        with subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True) as standin:
            try:
                url = re.search(r"MediaAdapter at (\S+)", standin.stdout.readline())
                self.assertIsNotNone(url)
                done = run(self.path("usr/bin/quorra-transcode"), "--endpoint", url.group(1),
                           "--target-dir", os.path.join(work, "out"),
                           os.path.join(work, "song.mp3"))
            finally:
                standin.send_signal(signal.SIGTERM)
                standin.wait(timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertTrue(done.stdout.endswith("\nTranscoding Finished.\n"), done.stdout)
        with open(os.path.join(work, "out", "song.mp4"), "rb") as f:
            self.assertEqual(f.read(), self.SOURCE)

    def call_standin(self, standin):
        try:
            banner = standin.stdout.readline()
            url = re.search(r"MediaAdapter at (http://127\.0\.0\.1:\d+/\S+)", banner)
            self.assertIsNotNone(url, banner or standin.stderr.read())
            body = REQUEST.format(data=base64.b64encode(self.SOURCE).decode()).encode()
            request = urllib.request.Request(url.group(1), data=body, headers={
                "Content-Type": "text/xml; charset=utf-8", "SOAPAction": "transcode"})
            with urllib.request.urlopen(request, timeout=60) as answer:
                return answer.status, answer.read().decode()
        finally:
            standin.send_signal(signal.SIGTERM)
            standin.wait(timeout=60)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--cmake", default="cmake")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
