# SPDX-License-Identifier: Apache-2.0
"""Walks the real window's AT-SPI tree, as a screen reader sees it, and
compares every control's role and name with the tables below.

Run by run.sh inside a private X server and D-Bus session:
    atspi_tree.py PROGRAM        the test
    atspi_tree.py --table        prints the tables as Markdown

Switches tabs with real key presses (xdotool), as a keyboard user would.
"""

import signal
import subprocess
import sys
import time

# What a screen reader walks past: containers without meaning of their own,
# and the scroll bars inside the text boxes.
STRUCTURE = {"filler", "layered pane", "scroll bar"}

WINDOW = [
    ("TabStrip1", "page tab list", "Tabs"),
    ("TabStrip1 tab 1", "page tab", "Hash"),
    ("TabStrip1 tab 2", "page tab", "Symetric Encrypt/Decrypt"),
    ("TabStrip1 tab 3", "page tab", "Asymmetric Encrypt/Decrypt"),
    ("TabStrip1 tab 4", "page tab", "Encode/Decode"),
    ("cmdAbort", "push button", "Abort transaction"),
    ("cmdOk", "push button", "OK"),
    ("cmdCancel", "push button", "Cancel"),
    ("cmdHelp", "push button", "Help"),
]


def source(frame, option, opener, opener_name, box, box_name, buttons, result, result_name):
    rows = [
        (frame, "panel", "Source"),
        (option + "(0)", "radio button", "Text"),
        (option + "(1)", "radio button", "File"),
        (opener, "push button", opener_name),
        (box, "text", box_name),
    ]
    rows += [(name, "push button", caption) for name, caption in buttons]
    rows.append((result, "text", result_name))
    return rows


def encoding(frame, option, name="Encoding"):
    return [
        (frame, "panel", name),
        (option + "(0)", "radio button", "Binary"),
        (option + "(1)", "radio button", "Base64"),
        (option + "(2)", "radio button", "Hex"),
    ]


def compression(label, box, updown):
    return [
        (label, "label", "Compression level"),
        (box, "text", "Compression level"),
        (updown, "spin button", "Compression level arrows"),
        (updown + " up arrow", "push button", "Compression level up"),
        (updown + " down arrow", "push button", "Compression level down"),
    ]


TABS = {
    "Hash": WINDOW
    + source("frTxtHash", "optHash", "cmdOpen", "Choose file to hash", "txtCont", "Text or file to hash",
             [("cmdHashBin", "Hash->")], "txtRes", "Digest")
    + [
        ("frEncHash", "panel", "Encoding"),
        ("Label1", "label", "Algorythm"),
        ("cboEncHash", "combo box", "Algorithm"),
    ]
    + encoding("Frame2", "optType", "Type"),
    "Symetric Encrypt/Decrypt": WINDOW
    + source("frTxtSym", "optSym", "cmdOpenSym", "Choose file to encrypt", "txtContSym", "Text or file to encrypt",
             [("cmdEncSym", "Encrypting->"), ("cmdDecSym", "<-Decrypting")], "txtResSym", "Encrypted text or file")
    + [
        ("frEncSym", "panel", "Settings"),
        ("lbl1(0)", "label", "Key length"),
        ("cboSymKey", "combo box", "Key length"),
        ("lbl1(2)", "label", "IV"),
        ("txtSymIV", "text", "Initialisation vector"),
        ("lbl1(3)", "label", "Padding"),
        ("cboSymPad", "combo box", "Padding"),
        ("lbl1(4)", "label", "Algorythm"),
        ("cboSymAlg", "combo box", "Algorithm"),
    ]
    + compression("lbl1(1)", "txtSymComp", "udSymLev")
    + [
        ("lbl1(5)", "label", "Password"),
        ("txtSymPass", "text", "Password"),
    ]
    + encoding("frSymType", "optTypeSym")
    + [
        ("frSymCip", "panel", "Cipher mode"),
        ("optCip(0)", "radio button", "ECB"),
        ("optCip(1)", "radio button", "CBC"),
    ],
    "Asymmetric Encrypt/Decrypt": WINDOW
    + source("frTxtAsym", "optAsym", "cmdOpenAsym", "Choose file to encrypt or sign", "txtContAsym",
             "Text or file to encrypt or sign",
             [("cmdEncAsym", "Encrypting->"), ("cmdDecAsym", "<-Decrypting"), ("cmdAsign", "Sign->")],
             "txtResAsym", "Encrypted text, signature or file")
    + [("frEncAsym", "panel", "Settings")]
    + compression("lbl1(9)", "txtAsymComp", "udAsym")
    + encoding("frASymType", "optTypeAsym")
    + [
        ("frGenkeys", "panel", "Key generation"),
        ("lbl1(8)", "label", "Key length"),
        ("cboAsymKey", "combo box", "Key length"),
        ("lbl1(7)", "label", "Encryption Schema"),
        ("cboAsymSchema", "combo box", "Encryption schema"),
        ("lbl1(6)", "label", "Seed"),
        ("txtAsymSeed", "text", "Seed"),
        ("cmdAsymGenKey", "push button", "Generate keys"),
        ("cmdAsymSave", "push button", "Save key to file"),
        ("frLoad", "panel", "Load Key from file"),
        ("cmdAsymLoad", "push button", "Load key"),
        ("cmdAsymLoadRelat", "push button", "Load key private related"),
        ("frSign", "panel", "Signature verification"),
        ("cmdAsymVerifSign", "push button", "Verify signature"),
    ],
    "Encode/Decode": WINDOW
    + source("frTxtED", "optED", "cmdOpenED", "Choose file to encode", "txtContED", "Text or file to encode",
             [("cmdEncED", "Encoding->"), ("cmdDecED", "<-Decoding")], "txtResED", "Encoded text or file")
    + encoding("frEDType", "optTypeED"),
}

KEY_DIALOG = [
    ("Frame1", "panel", "Key kind"),
    ("optAsymCrKey(0)", "radio button", "Public key"),
    ("optAsymCrKey(1)", "radio button", "Private key"),
    ("cmdOk", "push button", "OK"),
    ("cmdCancel", "push button", "Cancel"),
]

# Selected at start, tab by tab.
SELECTED = {
    "Hash": {"Text", "Binary"},
    "Symetric Encrypt/Decrypt": {"Text", "Binary", "ECB"},
    "Asymmetric Encrypt/Decrypt": {"Text", "Binary"},
    "Encode/Decode": {"Text", "Base64"},
}


def print_tables():
    print("| where | control | role | name |")
    print("|---|---|---|---|")
    print("| window | `frmMain` | frame | Exemple |")
    for control, role, name in WINDOW:
        print(f"| every tab | `{control}` | {role} | {name} |")
    print("| every tab, during an operation | `pgBar` | progress bar | Progress (its value 0 to 100) |")
    for tab, rows in TABS.items():
        for control, role, name in rows[len(WINDOW):]:
            print(f"| {tab} | `{control}` | {role} | {name} |")
    print("| frmKey | `frmKey` | dialog | its caption (Load Key, Save Key) |")
    for control, role, name in KEY_DIALOG:
        print(f"| frmKey | `{control}` | {role} | {name} |")


class Failure(Exception):
    pass


def main(program):
    import gi

    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi

    failures = []

    def check(condition, message):
        if not condition:
            failures.append(message)
            print("FAIL:", message)

    def showing(node):
        return node.get_state_set().contains(Atspi.StateType.SHOWING)

    def children(node):
        for i in range(node.get_child_count()):
            child = node.get_child_at_index(i)
            if child is not None:
                yield child

    def walk(node):
        """Showing nodes below node, in tree order; hidden branches are skipped."""
        for child in children(node):
            if not showing(child):
                continue
            yield child
            yield from walk(child)

    def seen(node):
        return [(c.get_role_name(), c.get_name()) for c in walk(node) if c.get_role_name() not in STRUCTURE]

    def wait_for(condition, what, seconds=10.0):
        end = time.monotonic() + seconds
        error = None
        while time.monotonic() < end:
            try:
                value = condition()
            except Failure:
                raise
            except Exception as caught:  # the tree changes under us while the window settles
                value, error = None, caught
            if value:
                return value
            time.sleep(0.1)
        raise Failure("timed out waiting for " + what + (f" ({error!r})" if error else ""))

    def application():
        desktop = Atspi.get_desktop(0)
        for app in children(desktop):
            if app.get_name() == "Quorval":
                return app
        return None

    def top(app, role):
        app.clear_cache()
        for window in children(app):
            if (role is None or window.get_role_name() == role) and showing(window):
                return window
        return None

    def find(root, role, name):
        for node in walk(root):
            if node.get_role_name() == role and node.get_name() == name:
                return node
        return None

    def focus_main():
        # There is no window manager to hand the focus back when a dialog closes.
        subprocess.run(["xdotool", "search", "--sync", "--name", "^Exemple$", "windowfocus", "--sync"],
                       check=True, stdout=subprocess.DEVNULL)

    def key(*keys):
        subprocess.run(["xdotool", "key", "--delay", "50", *keys], check=True)

    def compare(where, root, expected):
        got = seen(root)
        want = [(role, name) for _, role, name in expected]
        for row in sorted(set(want) | set(got)):
            check(got.count(row) == want.count(row),
                  f"{where}: {row} shown {got.count(row)} times, expected {want.count(row)}")
        # A label shares its words with the control it names; nothing else shares a name.
        names = [name.lower() for role, name in got if role != "label"]
        doubles = sorted({name for name in names if names.count(name) > 1})
        check(not doubles, f"{where}: names used twice: {doubles}")

    def selected_tab(frame):
        strip = next(node for node in walk(frame) if node.get_role_name() == "page tab list")
        for tab in children(strip):
            if tab.get_state_set().contains(Atspi.StateType.SELECTED):
                return tab.get_name()
        return None

    def checked(frame):
        return {n.get_name() for n in walk(frame)
                if n.get_role_name() == "radio button" and n.get_state_set().contains(Atspi.StateType.CHECKED)}

    process = subprocess.Popen([program])
    try:
        def started():
            if process.poll() is not None:
                raise Failure(f"the program ended at start, status {process.returncode}")
            return application()

        app = wait_for(started, "the program on the accessibility bus", 30)
        frame = wait_for(lambda: top(app, None), "the main window")
        check(frame.get_role_name() == "frame", f"main window is a {frame.get_role_name()!r}, not a 'frame'")
        check(frame.get_name() == "Exemple", f"main window named {frame.get_name()!r}")
        focus_main()

        bar = None
        for node in [frame] + list(children(frame)):
            if node.get_role_name() == "progress bar":
                bar = node
        check(bar is not None and bar.get_name() == "Progress", "progress bar named Progress")
        if bar is not None:
            check((Atspi.Value.get_current_value(bar), Atspi.Value.get_maximum_value(bar)) == (0.0, 100.0),
                  "progress bar reports 0 of 100")

        # Each tab by the keyboard, forwards and back, with every shortcut.
        order = list(TABS)
        walk_keys = [("ctrl+Tab", 1), ("ctrl+Next", 2), ("ctrl+Tab", 3), ("ctrl+Tab", 0), ("ctrl+shift+Tab", 3),
                     ("ctrl+Prior", 2), ("ctrl+Prior", 1), ("ctrl+shift+Tab", 0)]
        visited = set()
        current = 0
        for press, expected in [(None, 0)] + walk_keys:
            if press:
                key(press)
            tab = order[expected]
            frame.clear_cache()
            # The panels switch with the tab; the "..." button is the first control of its panel.
            opener = TABS[tab][len(WINDOW) + 3]
            wait_for(lambda: selected_tab(frame) in (tab, None) and any(
                node.get_role_name() == opener[1] and node.get_name() in (opener[2], "...") for node in walk(frame)),
                f"{press or 'start'} to show {tab!r} after {order[current]!r}")
            current = expected
            check(selected_tab(frame) == tab, f"{tab}: the page tab selected is {selected_tab(frame)!r}")
            if tab in visited:
                continue
            visited.add(tab)
            compare(tab, frame, TABS[tab])
            check(checked(frame) == SELECTED[tab], f"{tab}: selected {sorted(checked(frame))}")

            if tab == "Symetric Encrypt/Decrypt":
                # The level box answers the Up key; the spin button reports the new level.
                spin = find(frame, "spin button", "Compression level arrows")
                box = find(frame, "text", "Compression level")
                if spin is None or box is None:
                    continue
                check((Atspi.Value.get_current_value(spin), Atspi.Value.get_minimum_value(spin),
                       Atspi.Value.get_maximum_value(spin)) == (-1.0, -1.0, 9.0), "level -1 in -1..9")
                Atspi.Component.grab_focus(box)
                wait_for(lambda: box.get_state_set().contains(Atspi.StateType.FOCUSED), "the level box's focus")
                key("Up")
                wait_for(lambda: Atspi.Value.get_current_value(spin) == 0.0, "the level to reach 0")
                check(Atspi.Text.get_text(box, 0, -1) == "0", "the level box shows 0")
                key("Down")
                wait_for(lambda: Atspi.Value.get_current_value(spin) == -1.0, "the level back at -1")

            if tab == "Asymmetric Encrypt/Decrypt":
                # "Load key" by the keyboard opens the key-kind dialog; Escape closes it.
                load = find(frame, "push button", "Load key")
                if load is None:
                    continue
                Atspi.Component.grab_focus(load)
                wait_for(lambda: load.get_state_set().contains(Atspi.StateType.FOCUSED), "Load Key's focus")
                key("space")
                dialog = wait_for(lambda: top(app, "dialog"), "the key-kind dialog")
                check(dialog.get_name().strip() == "Load Key", f"dialog named {dialog.get_name()!r}")
                compare("frmKey", dialog, KEY_DIALOG)
                check(checked(dialog) == {"Public key"}, f"frmKey: selected {sorted(checked(dialog))}")
                key("Escape")
                wait_for(lambda: top(app, "dialog") is None, "the dialog to close")
                focus_main()
                # The load buttons' names follow their captions, which the cancelled load changed.
                frame.clear_cache()
                wait_for(lambda: find(frame, "push button", "Load Key Related"), "the related-key button's new name")
        check(visited == set(order), f"tabs visited: {sorted(visited)}")
    except Failure as error:
        failures.append(str(error))
        print("FAIL:", error)
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()

    if failures:
        print(f"{len(failures)} failures")
        return 1
    print("AT-SPI tree as the tables say: 4 tabs and the key-kind dialog")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "--table":
        print_tables()
        sys.exit(0)
    if len(sys.argv) != 2:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
