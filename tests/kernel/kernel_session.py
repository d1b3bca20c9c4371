"""The moving parts of the real-kernel test: qzvsim on this machine, QEMU with its monitor (QMP), and
the guest's command port. Each waits with a time limit and raises TestTrouble when it runs out, so that
a guest or a server that dies never hangs the test."""

import ctypes
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time


def dies_with_parent():
    """For a child process: the kernel kills it when the test ends, however the test ends."""
    PR_SET_PDEATHSIG = 1
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


class TestTrouble(Exception):
    """Something the test needs did not happen in time (or at all)."""


class LineSource:
    """Lines read from a stream by a thread of their own, kept in order for waits by position."""

    def __init__(self, stream, echo=None):
        self.lines = []
        self._changed = threading.Condition()
        self._echo = echo
        self._thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self._thread.start()

    def _read(self, stream):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            if self._echo:
                self._echo.write(line + "\n")
                self._echo.flush()
            with self._changed:
                self.lines.append(line)
                self._changed.notify_all()
        with self._changed:
            self.lines.append(None)  # end of stream
            self._changed.notify_all()

    def mark(self):
        with self._changed:
            return len(self.lines)

    def settled_mark(self, quiet=0.3, limit=5):
        """The position once no line has come for `quiet` seconds: lines about what happened before
        are in, whatever the pipe's delay."""
        deadline = time.monotonic() + limit
        with self._changed:
            while True:
                count = len(self.lines)
                self._changed.wait(quiet)
                if len(self.lines) == count or time.monotonic() > deadline:
                    return len(self.lines)

    def join(self, timeout):
        self._thread.join(timeout)

    def wait_for(self, pattern, since, timeout):
        """The first line from position `since` on that matches; its position and match."""
        regex = re.compile(pattern)
        deadline = time.monotonic() + timeout
        at = since
        with self._changed:
            while True:
                while at < len(self.lines):
                    line = self.lines[at]
                    if line is None:
                        raise TestTrouble("stream ended while waiting for /%s/" % pattern)
                    found = regex.search(line)
                    if found:
                        return at, found
                    at += 1
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TestTrouble("no line /%s/ within %.0f s" % (pattern, timeout))
                self._changed.wait(left)

    def first(self, pattern, since):
        """The position of the first line from `since` on that matches, or None."""
        regex = re.compile(pattern)
        with self._changed:
            for at in range(since, len(self.lines)):
                if self.lines[at] is not None and regex.search(self.lines[at]):
                    return at
        return None

    def since(self, start, end=None):
        with self._changed:
            return [line for line in self.lines[start:end] if line is not None]


class Qzvsim:
    """qzvsim serving simulated units; its event lines (commands too, with --verbose) as a LineSource."""

    def __init__(self, program, port, unit_options, unit_count, log_path):
        self.port = port
        arguments = [program, "--listen=127.0.0.1:%d" % port, "--verbose"] + unit_options
        self._log = open(log_path, "w")
        self.process = subprocess.Popen(arguments, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL, preexec_fn=dies_with_parent)
        self.events = LineSource(self.process.stdout, self._log)
        self.events.wait_for(r"^listening ", 0, 10)
        self.targets = {}
        for unit in range(unit_count):
            _, found = self.events.wait_for(r"^unit=%d target=(\S+)" % unit, 0, 10)
            self.targets[unit] = found.group(1)

    def unit_commands(self, unit, start, end=None):
        """The command lines the unit itself received (not those the target answered), in order."""
        prefix = "command unit=%d by=unit " % unit
        return [line[len(prefix):] for line in self.events.since(start, end) if line.startswith(prefix)]

    def target_commands(self, unit, start, end=None):
        prefix = "command unit=%d by=target " % unit
        return [line[len(prefix):] for line in self.events.since(start, end) if line.startswith(prefix)]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)
        self.events.join(5)
        self._log.close()


class Monitor:
    """QEMU's machine protocol on a unix socket: commands with their answers, and the events."""

    def __init__(self, path, timeout):
        self._socket = connect_unix(path, timeout)
        self._reader = self._socket.makefile("rb")
        self._lock = threading.Lock()
        self.events = []
        self._answers = []
        self._changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self._wait(lambda: self._answers, 10, "QMP greeting").pop(0)
        self.execute("qmp_capabilities")

    def _read(self):
        try:
            for raw in self._reader:
                message = json.loads(raw)
                with self._changed:
                    if "event" in message:
                        self.events.append(message)
                    else:
                        self._answers.append(message)
                    self._changed.notify_all()
        except OSError:
            pass
        with self._changed:
            self._answers.append({"error": {"desc": "QMP connection closed"}})
            self._changed.notify_all()

    def _wait(self, ready, timeout, what):
        deadline = time.monotonic() + timeout
        with self._changed:
            while not ready():
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TestTrouble("no %s within %.0f s" % (what, timeout))
                self._changed.wait(left)
            return ready()

    def execute(self, command, timeout=30, **arguments):
        with self._lock:
            request = {"execute": command}
            if arguments:
                request["arguments"] = arguments
            self._socket.sendall(json.dumps(request).encode() + b"\n")
            answer = self._wait(lambda: self._answers, timeout, "answer to " + command).pop(0)
        if "error" in answer:
            raise TestTrouble("QMP %s: %s" % (command, answer["error"].get("desc")))
        return answer.get("return")

    def wait_event(self, name, timeout, **data):
        def found():
            return [e for e in self.events if e["event"] == name and
                    all(e.get("data", {}).get(k) == v for k, v in data.items())]
        event = self._wait(found, timeout, "event " + name)[0]
        with self._changed:
            self.events.remove(event)
        return event


class Guest:
    """The guest's command port: "<id> <command>" out, "@@begin <id>" ... "@@end <id> <status>" back."""

    def __init__(self, path, timeout):
        self._socket = connect_unix(path, timeout)
        self._buffer = b""
        self._next_id = 0
        self._finished = {}
        self._changed = threading.Condition()
        self.kernel = None
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                data = self._socket.recv(65536)
            except OSError:
                data = b""
            with self._changed:
                if not data:
                    self._finished[None] = True
                    self._changed.notify_all()
                    return
                self._buffer += data
                ready = re.search(rb"@@ready (\S+)\n", self._buffer)
                if ready and not self.kernel:
                    self.kernel = ready.group(1).decode()
                    self._buffer = self._buffer[ready.end():]
                used = 0
                for found in re.finditer(rb"@@begin (\d+)\n(.*?)\n@@end \1 (\d+)\n", self._buffer, re.S):
                    self._finished[int(found.group(1))] = (int(found.group(3)),
                                                           found.group(2).decode("utf-8", "replace"))
                    used = found.end()
                self._buffer = self._buffer[used:]
                self._changed.notify_all()

    def wait_ready(self, timeout):
        self._wait(lambda: self.kernel, timeout, "guest start")
        return self.kernel

    def _wait(self, ready, timeout, what):
        deadline = time.monotonic() + timeout
        with self._changed:
            while not ready():
                if None in self._finished:
                    raise TestTrouble("guest port closed while waiting for " + what)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TestTrouble("no %s within %.0f s" % (what, timeout))
                self._changed.wait(left)
            return ready()

    def start(self, command):
        """Sends a command; the guest runs one at a time, in order. Its id, for finish()."""
        with self._changed:
            self._next_id += 1
            ident = self._next_id
        self._socket.sendall(("%d %s\n" % (ident, command)).encode())
        return ident

    def done(self, ident):
        with self._changed:
            return ident in self._finished

    def finish(self, ident, timeout):
        """(exit status, output) of a command started earlier."""
        return self._wait(lambda: self._finished.get(ident), timeout, "end of guest command %d" % ident)

    def run(self, command, timeout=30):
        return self.finish(self.start(command), timeout)


def connect_unix(path, timeout):
    deadline = time.monotonic() + timeout
    while True:
        try:
            connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            connection.connect(path)
            return connection
        except OSError:
            connection.close()
            if time.monotonic() > deadline:
                raise TestTrouble("cannot connect to " + path)
            time.sleep(0.05)


class Qemu:
    """The guest machine: the kernel and initramfs, a virtio SCSI adapter without devices, a network card
    on QEMU's user network, the console on the first serial port (to a file), the command port on the
    second, the monitor on a socket."""

    def __init__(self, kernel, initrd, work):
        self.work = work
        self.console = os.path.join(work, "console.log")
        monitor = os.path.join(work, "qmp.sock")
        port = os.path.join(work, "guest.sock")
        arguments = [
            "qemu-system-x86_64", "-accel", "tcg", "-m", "256", "-smp", "1", "-nodefaults", "-nographic",
            "-no-reboot", "-kernel", kernel, "-initrd", initrd, "-append", "console=ttyS0 panic=-1",
            "-serial", "file:" + self.console,
            "-chardev", "socket,id=port,path=%s,server=on,wait=off" % port, "-serial", "chardev:port",
            "-qmp", "unix:%s,server=on,wait=off" % monitor,
            "-device", "virtio-scsi-pci,id=scsi0",
            # The user network: the guest reaches the host's loopback address as 10.0.2.2.
            "-netdev", "user,id=net0", "-device", "virtio-net-pci,netdev=net0",
        ]
        self._stderr = open(os.path.join(work, "qemu.err"), "w")
        self.process = subprocess.Popen(arguments, stdin=subprocess.DEVNULL, stdout=self._stderr,
                                        stderr=subprocess.STDOUT, preexec_fn=dies_with_parent)
        self.monitor = Monitor(monitor, 20)
        self.guest = Guest(port, 20)

    def open_lun(self, unit, server, initiator):
        """The unit's iSCSI LUN as a block node: QEMU logs in and looks at the LUN."""
        self.monitor.execute("blockdev-add", driver="iscsi", **{
            "node-name": "lun%d" % unit, "transport": "tcp", "portal": "127.0.0.1:%d" % server.port,
            "target": server.targets[unit], "lun": 0, "initiator-name": initiator})

    def add_device(self, unit):
        """A SCSI generic device on the adapter for the open LUN: the guest sees a device arrive."""
        self.monitor.execute("device_add", driver="scsi-generic", id="unit%d" % unit, drive="lun%d" % unit,
                             bus="scsi0.0", channel=0, **{"scsi-id": unit % 8, "lun": 0})

    def detach(self, unit, timeout=30, paused=False):
        """The device leaves the guest (as an unplugged unit does), then the node logs out. Paused, the
        guest's processor stands still meanwhile, so that it cannot send the unit anything more."""
        if paused:
            self.monitor.execute("stop")
        self.monitor.execute("device_del", id="unit%d" % unit)
        self.monitor.wait_event("DEVICE_DELETED", timeout, device="unit%d" % unit)
        if paused:
            self.monitor.execute("cont")
        self.monitor.execute("blockdev-del", **{"node-name": "lun%d" % unit})

    def console_text(self):
        with open(self.console, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def stop(self):
        if self.process.poll() is None:
            try:
                self.monitor.execute("quit", timeout=5)
                self.process.wait(5)
            except (TestTrouble, OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait(5)
        self._stderr.close()
