"""The real client window on an X server (Xvfb) with the accessibility bus, as a screen reader and
the desktop see it.

Usage: desktop_session_test.py <client executable> accessibility|taskbar

Run inside a D-Bus session (dbus-run-session). Starts its own Xvfb on a free display, the client
on it, and reads either the accessibility tree over AT-SPI or the main window's _NET_WM_STATE.
Every wait is bounded; nothing is asserted about how long anything takes.
"""

import os
import subprocess
import sys
import tempfile
import time

MAIN_TITLE = "Korvane Quorra Client - Audio Transcoding"
CHART_TITLE = "CODEC Information"
WAIT_SECONDS = 60

# Each text field and the label that names it.
TEXT_FIELDS = ["Quorra Service URL", "Local IP", "Web Server Url", "Local Directory", "File List",
               "Directory", "Log"]
# Each source or target combo box: its label, which is also its name, and its value at start.
COMBOS = [("Format", "mp3"), ("Format", "mp4"), ("Codec", "aac"), ("Bit Rate", "16000"),
          ("Channels", "Mono"), ("Sampling Rate", "22050")]
# Words of the chart, as printed, with its wrapped lines joined.
CHART_PHRASES = [
    "Codec: ADPCM (G.721)", "Formats: wav, raw, au", "Resolution (bits): 2, 3, 4, 5",
    "Minimum: 16kbps in mono, 32 kbps in stereo", "288kbps at 48kHz",
    "6.6, 8.85, 12.65, 14.25, 15.85, 18.25, 19.85, 23.05, 23.85",
    "G.711 (a-law), G.711 (u-law)", "Stereo (au only)",
    "192 (both average and constant rates are supported)", "Sampling rate (kHz): 8 (au only)",
    "Input: wma7, wma8, wma9", "Output: wma9 with 48khz sampling rate, 16bits per sample and Stereo.",
]

failures = []
CONFIG = tempfile.TemporaryDirectory()  # the client's settings folder, of this run alone


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message, flush=True)


CLIENT = None


def wait_for(probe, what):
    """Calls probe until it returns something true, for at most WAIT_SECONDS; stops at once when
    the client has ended."""
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        if CLIENT is not None and CLIENT.poll() is not None:
            raise SystemExit("the client ended with %r while waiting for %s"
                             % (CLIENT.returncode, what))
        try:
            value = probe()
        except Exception:  # the tree changes while the window is being built
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise SystemExit("timed out waiting for " + what)
        time.sleep(0.25)


def start_xvfb():
    read_end, write_end = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        number = pipe.readline().strip()  # written once the server accepts connections
    if not number:
        raise SystemExit("Xvfb did not start")
    return server, ":" + number.decode()


def start_client(executable, display):
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", QT_ACCESSIBILITY="1",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", XDG_CONFIG_HOME=CONFIG.name)
    return subprocess.Popen([executable], env=env, stdin=subprocess.DEVNULL)


def relation_targets(node, relation_type):
    names = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == relation_type:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def text_of(node):
    return node.queryText().getText(0, -1)


def check_accessibility(client):
    import pyatspi

    def application():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in children(desktop):
            if app is not None and app.get_process_id() == client.pid:
                return app
        return None

    def frame(title, minimum_children):
        app = application()
        for window in children(app) if app else []:
            if window.name == title and window.childCount >= minimum_children:
                return window
        return None

    main = wait_for(lambda: frame(MAIN_TITLE, 40), "the main window in the accessibility tree")
    controls = children(main)
    role = lambda node: node.getRole()
    labelled_by = pyatspi.RELATION_LABELLED_BY

    texts = [c for c in controls if role(c) == pyatspi.ROLE_TEXT]
    for label in TEXT_FIELDS:
        named = [t for t in texts if t.name == label]
        check(len(named) == 1, "one text field named %r, found %d" % (label, len(named)))
        for field in named:
            check(relation_targets(field, labelled_by) == [label],
                  "text field %r labelled by %r" % (label, relation_targets(field, labelled_by)))
    check(all(t.name for t in texts), "a text field without a name")

    # A combo box is named by its label; its value is the text of its edit field.
    combos = [c for c in controls if role(c) == pyatspi.ROLE_COMBO_BOX]
    found = []
    for combo in combos:
        labels = relation_targets(combo, labelled_by)
        if len(labels) != 1:
            continue
        check(combo.name == labels[0], "combo labelled %r named %r" % (labels, combo.name))
        fields = [inner for inner in children(combo) if role(inner) == pyatspi.ROLE_TEXT]
        check(len(fields) == 1 and fields[0].name == labels[0],
              "edit field of combo %r: %r" % (labels, [f.name for f in fields]))
        if fields:
            found.append((labels[0], text_of(fields[0])))
    check(found == COMBOS, "combo boxes by label and value: %r" % found)
    # The drive list has no label: its own name, its value as its text, one of its items.
    drives = [c for c in combos if c.name == "Source Drive"]
    check(len(drives) == 1, "one combo box named 'Source Drive', found %d" % len(drives))
    for drive in drives:
        items = [item.name for item in children(drive.getChildAtIndex(0))]
        check(text_of(drive) in items and text_of(drive) != "",
              "drive list shows %r of %r" % (text_of(drive), items))

    radios = sorted(c.name for c in controls if role(c) == pyatspi.ROLE_RADIO_BUTTON)
    check(radios == ["Local Directory", "Web Server Url"], "option buttons: %r" % radios)
    lists = [c.name for c in controls if role(c) == pyatspi.ROLE_LIST]
    check(lists == ["Source Directory"], "directory list named %r" % lists)
    service = [t for t in texts if t.name == "Quorra Service URL"]
    check(bool(service) and service[0].description.startswith("This is the URL http://"),
          "the tooltip stays the description")

    button = [c for c in controls if role(c) == pyatspi.ROLE_PUSH_BUTTON and c.name == "Codec Info"]
    check(len(button) == 1, "one Codec Info button")
    if not button:
        return
    action = button[0].queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("Press" in names, "Codec Info offers Press: %r" % names)
    if "Press" not in names:
        return
    action.doAction(names.index("Press"))

    chart_window = wait_for(lambda: frame(CHART_TITLE, 2), "the chart window")
    pictures = [c for c in children(chart_window) if role(c) == pyatspi.ROLE_IMAGE]
    check(len(pictures) == 1, "one picture in the chart window, found %d" % len(pictures))
    if not pictures:
        return
    picture = pictures[0]
    check(picture.name == "Codec, Sampling rate (kHz), Resolution (bits), Channels, "
                          "Bit Rate (kbps), Formats", "chart picture named %r" % picture.name)
    text = picture.description
    for phrase in CHART_PHRASES:
        check(phrase in text, "chart text holds %r" % phrase)
    check(len(text.splitlines()) == 10, "ten row groups in the chart text")
    # The chart window keeps its own task-bar entry.
    state = shown_window_state(os.environ["DISPLAY"], CHART_TITLE)
    check("SKIP_TASKBAR" not in state, "chart window state: %r" % state.strip())


def x_command(display, *args):
    result = subprocess.run(list(args), env=dict(os.environ, DISPLAY=display),
                            capture_output=True, text=True, timeout=20)
    return result.stdout if result.returncode == 0 else ""


def shown_window_state(display, title):
    """The _NET_WM_STATE of the window of that title once it is mapped."""
    mapped = lambda: "IsViewable" in x_command(display, "xwininfo", "-name", title)
    wait_for(mapped, "the window %r shown on the display" % title)
    return x_command(display, "xprop", "-name", title, "_NET_WM_STATE")


def check_taskbar(display):
    state = shown_window_state(display, MAIN_TITLE)
    check("_NET_WM_STATE_SKIP_TASKBAR" in state, "main window state: %r" % state.strip())


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in ("accessibility", "taskbar"):
        raise SystemExit(__doc__)
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        raise SystemExit("no D-Bus session: run under dbus-run-session")
    server, display = start_xvfb()
    os.environ["DISPLAY"] = display
    global CLIENT
    client = CLIENT = start_client(sys.argv[1], display)
    try:
        if sys.argv[2] == "accessibility":
            check_accessibility(client)
        else:
            check_taskbar(display)
        check(client.poll() is None, "the client ended early with %r" % client.returncode)
    finally:
        for process in (client, server):
            process.terminate()
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
    if failures:
        raise SystemExit("%d check(s) failed" % len(failures))
    print("all checks passed")


if __name__ == "__main__":
    main()
