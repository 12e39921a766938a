#!/usr/bin/python3
"""What Debian's screen reader says while Fretmap is used by keyboard alone.

Runs Fretmap under Xvfb with Orca, types the keys of each step of a scenario
and checks that Orca spoke every phrase the step expects. Each step waits
until Orca has fallen quiet; nothing sleeps a fixed time. Everything started
here is stopped again, whatever happens.

Run it inside its own session bus, as scripts/orca-check does:
    dbus-run-session -- tests/orca/orca_check.py PROGRAM SCENARIO [--runs N]

The scenario has one step a line:  keys | phrase; phrase; ...
Keys are xdotool key names separated by spaces, "alt+h" for H with Alt held;
"-" starts the program.
"@play NAME" before the keys plays NAME, a WAV file of the --sounds folder,
into the null output "check" of the sound server that PULSE_SERVER names,
whose monitor is the input the program listens to (scripts/orca-check
starts that server).
"@focus" before the keys gives the main window the X input focus first, as a
window manager would after another window closes. Phrases are matched, case
insensitively, in what Orca said after the keys; "!phrase" must not be said.
"""

import argparse
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import tty

# "SPEECH OUTPUT: 'text'", then maybe the voice and its settings.
SPEECH = re.compile(r"SPEECH OUTPUT: '(.*?)'(?: voice=\w+)?(?:\[?\{[^{}]*\}\]?)?\s*$")
QUIET_SECONDS = 0.6  # no line from Orca for this long: it has done its work
STEP_TIMEOUT = 15.0  # the longest a step may take before it has failed
START_TIMEOUT = 30.0


class OrcaLog:
    """Orca's debug output, read line by line as Orca writes it.

    Orca writes its debug file through Python's own buffering, which is
    per line only for a terminal: the file is the far end of a pseudo
    terminal, so no line waits in a buffer.
    """

    def __init__(self):
        self._master, self._slave = pty.openpty()
        tty.setraw(self._slave)
        self.path = os.ttyname(self._slave)
        self._lines = []  # (time, line)
        self._lock = threading.Lock()
        self._reader = threading.Thread(target=self._read, daemon=True)
        self._reader.start()

    def _read(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self._master, 65536)
            except OSError:
                return
            if not chunk:
                return
            pending += chunk
            *whole, pending = pending.split(b"\n")
            now = time.monotonic()
            with self._lock:
                self._lines.extend((now, line.decode("utf-8", "replace")) for line in whole)

    def close(self):
        os.close(self._slave)
        self._reader.join(timeout=5)  # it ends when the last writer is gone
        os.close(self._master)

    def mark(self):
        with self._lock:
            return len(self._lines)

    def since(self, mark):
        with self._lock:
            return [line for _, line in self._lines[mark:]]

    def last_time(self):
        with self._lock:
            return self._lines[-1][0] if self._lines else 0.0

    def speech_since(self, mark):
        return [m.group(1) for m in map(SPEECH.search, self.since(mark)) if m]

    def wait_quiet(self, start_mark, deadline, until=None):
        """Waits until Orca has written something since `start_mark` and
        then nothing for QUIET_SECONDS, once `until(speech)` is true if
        given. False on passing the deadline."""
        while time.monotonic() < deadline:
            ready = self.mark() > start_mark and (until is None or until(self.speech_since(start_mark)))
            if ready and time.monotonic() - self.last_time() >= QUIET_SECONDS:
                return True
            time.sleep(0.05)
        return False


class Session:
    """Xvfb, the accessibility bus, speech-dispatcher, Orca and the program."""

    def __init__(self, program):
        self.program = os.path.abspath(program)
        self.home = tempfile.mkdtemp(prefix="fretmap-orca-")
        self.processes = []
        self.env = dict(os.environ)
        runtime = os.path.join(self.home, "runtime")
        os.mkdir(runtime, 0o700)
        self.env.update(
            HOME=self.home,
            XDG_RUNTIME_DIR=runtime,
            XDG_CONFIG_HOME=os.path.join(self.home, "config"),
            XDG_DATA_HOME=os.path.join(self.home, "data"),
            XDG_CACHE_HOME=os.path.join(self.home, "cache"),
            QT_QPA_PLATFORM="xcb",
            LANG="C.UTF-8",
        )
        for name in ("QT_ACCESSIBILITY", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "WAYLAND_DISPLAY",
                     "SPEECHD_ADDRESS", "SPEECHD_SOCKET"):
            self.env.pop(name, None)
        self.log = None

    def start(self, argv, **kwargs):
        process = subprocess.Popen(argv, env=self.env, start_new_session=True,
                                   stdin=subprocess.DEVNULL, **kwargs)
        self.processes.append(process)
        return process

    def start_xvfb(self):
        read_end, write_end = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                            "-nolisten", "tcp", "-dpi", "96"],
                   pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + START_TIMEOUT
        while not number.endswith(b"\n"):
            if not select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))[0]:
                raise RuntimeError("Xvfb did not start")
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb ended before it started")
            number += chunk
        os.close(read_end)
        self.env["DISPLAY"] = ":" + number.decode().strip()

    def start_speech(self):
        # speech-dispatcher of its own: espeak-ng into ALSA's null device, on
        # a socket of its own, so that no sound server is needed and no other
        # speech-dispatcher answers.
        config = os.path.join(self.home, "speechd")
        os.makedirs(os.path.join(config, "modules"))
        with open(os.path.join(config, "speechd.conf"), "w") as conf:
            conf.write('AudioOutputMethod "alsa"\nAudioALSADevice "null"\n'
                       'AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"\n'
                       'DefaultModule espeak-ng\nLanguageDefaultModule "en" "espeak-ng"\n'
                       'DefaultLanguage "en"\n')
        open(os.path.join(config, "modules", "espeak-ng.conf"), "w").close()
        socket = os.path.join(self.home, "speechd.sock")
        self.start(["speech-dispatcher", "--run-single", "--timeout", "0",
                    "--communication-method", "unix_socket", "--socket-path", socket,
                    "--config-dir", config, "--log-dir", self.home],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["SPEECHD_ADDRESS"] = "unix_socket:" + socket
        deadline = time.monotonic() + START_TIMEOUT
        while not os.path.exists(socket):
            if time.monotonic() > deadline:
                raise RuntimeError("speech-dispatcher did not open its socket")
            time.sleep(0.05)

    def start_orca(self):
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.log = OrcaLog()
        mark = self.log.mark()
        self.start(["orca", "--disable", "braille", "--disable", "braille-monitor",
                            "--user-prefs", os.path.join(self.home, "orca"), "--debug-file", self.log.path],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + START_TIMEOUT
        if not self.log.wait_quiet(mark, deadline, until=lambda speech: any(speech)):
            raise RuntimeError("Orca said nothing on starting: " + " | ".join(self.log.since(mark)[-5:]))

    def play(self, path):
        self.start(["paplay", "--device=check", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def start_program(self):
        work = os.path.join(self.home, "work")  # no help.hlp here: Contents shows the guide
        os.mkdir(work)
        self.start([self.program], cwd=work)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True, timeout=30,
                              capture_output=True, text=True).stdout

    def focus_main_window(self):
        window = self.xdotool("search", "--sync", "--onlyvisible", "--name", "^Fretmap$").split()[0]
        self.xdotool("windowfocus", "--sync", window)

    @staticmethod
    def signal_group(process, number):
        # Each process leads a group of its own, with what it started.
        try:
            os.killpg(process.pid, number)
        except ProcessLookupError:
            pass

    def stop(self):
        for process in reversed(self.processes):
            self.signal_group(process, signal.SIGTERM)
        for process in reversed(self.processes):
            try:
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
            self.signal_group(process, signal.SIGKILL)  # whatever is left of the group
            process.wait()
        if self.log:
            self.log.close()
        shutil.rmtree(self.home, ignore_errors=True)


def key_actions(keys):
    """The xdotool actions that type `keys`: "alt+h" is Alt down, h, Alt up."""
    for key in keys:
        *modifiers, last = key.split("+")
        yield from (("keydown", modifier) for modifier in modifiers)
        yield ("key", last)
        yield from (("keyup", modifier) for modifier in reversed(modifiers))


def read_scenario(path):
    steps = []
    with open(path, encoding="utf-8") as scenario:
        for number, line in enumerate(scenario, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            keys, _, phrases = line.partition("|")
            steps.append((number, keys.split(), [p.strip() for p in phrases.split(";") if p.strip()]))
    return steps


def run(program, scenario, sounds):
    """Runs the scenario once: what failed, and all that Orca wrote."""
    session = Session(program)
    failures = []
    try:
        session.start_xvfb()
        session.start_speech()
        session.start_orca()
        for number, keys, phrases in scenario:
            mark = session.log.mark()
            if keys[:1] == ["-"]:
                session.start_program()
                keys = keys[1:]
            if keys[:1] == ["@play"]:
                session.play(os.path.join(sounds, keys[1]))
                keys = keys[2:]
            if keys and keys[0] == "@focus":
                session.focus_main_window()
                keys = keys[1:]
            # One key at a time, and a modifier pressed on its own before the
            # key it goes with, each once Orca has fallen quiet, as a person
            # types. Qt holds each key until the screen reader has seen it,
            # but not an access key's shortcut: Alt+H typed at once can open
            # the menu before the held Alt arrives, which then closes it.
            for number_in_step, action in enumerate(key_actions(keys)):
                if number_in_step > 0:
                    session.log.wait_quiet(key_mark, time.monotonic() + STEP_TIMEOUT)
                key_mark = session.log.mark()
                session.xdotool(*action)
            wanted = [" ".join(p.lower().split()) for p in phrases if not p.startswith("!")]
            unwanted = [" ".join(p[1:].lower().split()) for p in phrases if p.startswith("!")]

            def heard(speech):
                return " ".join(" ".join(speech).lower().split())

            def heard_all(speech):
                return all(p in heard(speech) for p in wanted)

            deadline = time.monotonic() + STEP_TIMEOUT
            session.log.wait_quiet(mark, deadline, until=heard_all)
            speech = session.log.speech_since(mark)
            said = heard(speech)
            missing = [p for p in wanted if p not in said]
            spoken_wrongly = [p for p in unwanted if p in said]
            step = "line %d (%s)" % (number, " ".join(keys) or "start")
            print("%-28s %s" % (step, " | ".join(speech) or "(nothing)"))
            if missing or spoken_wrongly:
                failures.append("%s: missing %s%s; Orca said: %s" % (
                    step, missing, " and said %s" % spoken_wrongly if spoken_wrongly else "",
                    " | ".join(speech) or "nothing"))
    finally:
        session.stop()
    return failures, session.log.since(0) if session.log else []


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("scenario")
    parser.add_argument("--sounds", default=".", help="the folder of the WAV files that @play plays")
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--log", help="write Orca's debug output of the last run that failed, "
                                      "or else of the last run, to this file")
    args = parser.parse_args()
    scenario = read_scenario(args.scenario)
    passed = failed = 0
    for number in range(1, args.runs + 1):
        start = time.monotonic()
        failures, log = run(args.program, scenario, args.sounds)
        if args.log and (failures or not failed):  # a failed run's log is kept
            with open(args.log, "w", encoding="utf-8") as out:
                out.write("\n".join(log) + "\n")
        print("run %d: %s in %.1f s" % (number, "failed" if failures else "passed",
                                        time.monotonic() - start))
        for failure in failures:
            print("  FAIL " + failure)
        passed += not failures
        failed += bool(failures)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
