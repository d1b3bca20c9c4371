"""The real-kernel test: the Linux programs in a QEMU guest reach simulated units served by qzvsim over
iSCSI, through QEMU's iSCSI block driver, virtio-scsi and the guest kernel's sd and sg drivers, and
through the guest kernel's own iSCSI initiator (open-iscsi) over QEMU's user network. Each
check prints one PASS or FAIL line; what the unit received is compared with what the same update sends
on the emulated machine (qzvupdate-demo).

    kernel_test.py --kernel VMLINUZ --initrd CPIO --qzvsim BIN --demo BIN --qzvctl BIN --examples DIR
                   --work DIR [--port 3310] [--kernel-initiator]
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time
import traceback

from kernel_session import Qemu, Qzvsim, TestTrouble

INITIATOR = "iqn.2008-11.org.linux-kvm:kernel-test"
RESTART_MS = 1500
DONE_TEXT = "ファームウェアの更新が終了しました。"
VERSIONS_TEXT = "ファームウェア バージョン"
FAILED_DOWNLOAD_TEXT = "WRITE BUFFER コマンドが"
LARGE_IMAGE = "large.bin"  # a new-layout image of the largest size: a header and three 64 KiB pieces
GUEST_LIMIT = 60          # seconds any one guest command may take
SETTLE_LIMIT = 30         # seconds for a device to arrive or leave in the guest

# Units served by the first qzvsim, by index: what each is for.
UNITS = [
    ("QZV-57H", "1.99", "tools and the new-layout update"),
    ("QZV-57G", "1.50", "the old-layout update"),
    ("QZV-57H", "1.99", "removal in the middle of the download"),
    ("QZV-57H", "1.99", "terminal resizes during the download"),
    ("QZV-57H", "1.99", "two qzvctl at once"),
    ("QZV-57H", "1.99", "the guest kernel's own initiator"),
]
KERNEL_INITIATOR_UNIT = 5
# The host's loopback address as the guest reaches it through QEMU's user network.
HOST_FROM_GUEST = "10.0.2.2"


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            self.passed += 1
            print("PASS %s" % name)
        else:
            self.failed += 1
            print("FAIL %s%s" % (name, ": " + detail if detail else ""))
        sys.stdout.flush()
        return ok

    def same(self, name, got, expected):
        if got == expected:
            return self.check(name, True)
        return self.check(name, False, first_difference(got, expected))

    def info(self, text):
        print("     %s" % text)
        sys.stdout.flush()


def first_difference(got, expected):
    if isinstance(got, list) and isinstance(expected, list):
        for i, (a, b) in enumerate(zip(got, expected)):
            if a != b:
                return "line %d is\n       %s\n     expected\n       %s" % (i + 1, a, b)
        if len(got) == len(expected):
            return "the same %d lines" % len(got)
        longer, which = (got, "extra") if len(got) > len(expected) else (expected, "missing")
        return "%d lines against %d expected; first %s: %s" % (
            len(got), len(expected), which, longer[min(len(got), len(expected))])
    return "got %r, expected %r" % (got, expected)


OPCODE_NAMES = {"00": "TEST UNIT READY", "03": "REQUEST SENSE", "12": "INQUIRY", "13": "configuration",
                "1A": "MODE SENSE(6)", "1E": "PREVENT ALLOW MEDIUM REMOVAL", "25": "READ CAPACITY(10)",
                "28": "READ(10)", "35": "SYNCHRONIZE CACHE(10)", "9E": "READ CAPACITY(16)",
                "A0": "REPORT LUNS", "A3": "MAINTENANCE IN"}


def summary(server, unit, start, end):
    """The distinct commands a unit received (and those the target answered for it), with counts."""
    lines = [(line, "unit") for line in normalised(server.unit_commands(unit, start, end))]
    lines += [(line, "target") for line in normalised(server.target_commands(unit, start, end))]
    counts = {}
    for line, by in lines:
        fields = line.split(" | ")
        key = "%-30s %-28s %-6s -> %s (answered by the %s)" % (
            fields[0], OPCODE_NAMES.get(fields[0][:2], "?"), fields[2], fields[4], by)
        counts[key] = counts.get(key, 0) + 1
    return ["  %3d x %s" % (count, key) for key, count in counts.items()]


class DemoRun:
    def __init__(self, commands, texts, new_revision):
        self.commands = commands
        self.texts = texts
        self.new_revision = new_revision


# CDB lengths by the opcode's group (SCSI's own rule); groups 3, 6 and 7 are kept whole.
GROUP_LENGTHS = {0: 6, 1: 10, 2: 10, 4: 16, 5: 12}


def normalised(lines):
    """iSCSI carries every CDB in a 16-byte field: the bytes beyond the opcode group's length are
    padding, which a transcript line from the target may still show. They are dropped when they are
    zero (any other byte there stays, and so is a difference)."""
    result = []
    for line in lines:
        cdb, _, rest = line.partition(" | ")
        octets = cdb.split()
        keep = GROUP_LENGTHS.get(int(octets[0], 16) >> 5, len(octets))
        if len(octets) > keep and all(octet == "00" for octet in octets[keep:]):
            octets = octets[:keep]
        result.append(" ".join(octets) + " | " + rest)
    return result


class DemoRuns:
    """What the same update does on the emulated machine: its transcript and its texts."""

    def __init__(self, program, examples, work):
        self.program = program
        self.folder = os.path.join(work, "demo")
        os.makedirs(self.folder, exist_ok=True)
        for name in os.listdir(examples):
            with open(os.path.join(examples, name), "rb") as source:
                data = source.read()
            with open(os.path.join(self.folder, name), "wb") as copy:
                copy.write(data)

    def run(self, product, revision, image, fault=None):
        """The commands up to the unit's departure, the program's texts up to it, and the revision the
        unit reports after its restart (None when it did not leave)."""
        transcript = os.path.join(self.folder, "transcript.txt")
        arguments = [self.program, "--product=" + product, "--revision=" + revision, "--restart-ms=0",
                     "--transcript=" + transcript]
        if fault:
            arguments.append("--fault=" + fault)
        done = subprocess.run(arguments + [image], input=b"s\n", cwd=self.folder, capture_output=True, timeout=60)
        texts = done.stdout.decode("utf-8", "replace").split("\n")
        # The demo switches the unit off and on after the update and probes it again: that is not the
        # update's part.
        cut = [i for i, line in enumerate(texts) if line.startswith("demo: the unit has left")]
        new_revision = None
        if cut:
            new_revision = re.search(r"-> (\S+)$", texts[cut[0]]).group(1)
        texts = [line for line in texts[:cut[0] if cut else None] if not line.startswith("demo: ")]
        with open(transcript) as lines:
            commands = lines.read().splitlines()
        if cut:
            last_download = max(i for i, line in enumerate(commands) if line.startswith("3B "))
            commands = commands[:last_download + 1]
        return DemoRun(commands, text_lines(texts), new_revision)


def text_lines(text):
    """The lines of a program's output, without the empty lines at its end."""
    lines = text.split("\n") if isinstance(text, str) else list(text)
    while lines and lines[-1] == "":
        lines.pop()
    return lines


class KernelTest:
    def __init__(self, options, checks):
        self.options = options
        self.checks = checks
        self.work = options.work
        self.demo = DemoRuns(options.demo, options.examples, options.work)
        self.sim = None
        self.faulty = None
        self.qemu = None
        self.kernel_scan = []
        self.notes = []

    # ---- set-up ----------------------------------------------------------------------------------

    def start(self):
        unit_options = []
        for index, (product, revision, _) in enumerate(UNITS):
            if index:
                unit_options.append("--unit")
            unit_options += ["--product=" + product, "--revision=" + revision, "--restart-ms=%d" % RESTART_MS]
        self.sim = Qzvsim(self.options.qzvsim, self.options.port, unit_options, len(UNITS),
                          os.path.join(self.work, "qzvsim.log"))
        started = time.monotonic()
        self.qemu = Qemu(self.options.kernel, self.options.initrd, self.work)
        kernel = self.qemu.guest.wait_ready(120)
        self.checks.info("guest kernel %s ready after %.1f s" % (kernel, time.monotonic() - started))

    def stop(self):
        for part in (self.qemu, self.sim, self.faulty):
            if part:
                part.stop()

    def guest(self, command, limit=GUEST_LIMIT):
        return self.qemu.guest.run(command, limit + 5)

    def attach(self, server, unit):
        """Attaches the unit and waits until the guest's disk driver has finished with it. The positions
        in the server's lines before QEMU opened the LUN and before the guest saw it; the product the
        guest sees."""
        attached = self.disks_attached()
        before = server.events.settled_mark()
        self.qemu.open_lun(unit, server, INITIATOR)
        self.device_mark = server.events.settled_mark()
        self.qemu.add_device(unit)
        model = self.wait_for_disk(attached, unit)
        server.events.settled_mark()
        return before, model

    def disks_attached(self):
        """How many disks the guest kernel has attached so far, for wait_for_disk."""
        return self.guest("dmesg | grep -c 'Attached SCSI removable disk'")[1].strip()

    def wait_for_disk(self, attached, unit):
        """Waits until the guest's disk driver has attached one disk more than `attached`; the model the
        guest sees."""
        status, output = self.guest(
            "i=0; until [ $(dmesg | grep -c 'Attached SCSI removable disk') -gt %s ]; do "
            "i=$((i+1)); [ $i -gt %d ] && exit 1; sleep 0.1; done; "
            "cat /sys/class/scsi_generic/sg*/device/model" % (attached, SETTLE_LIMIT * 10), SETTLE_LIMIT)
        if status != 0:
            raise TestTrouble("unit %d did not arrive in the guest" % unit)
        return output.strip()

    def detach(self, unit, paused=False):
        self.qemu.detach(unit, paused=paused)
        self.wait_for_no_device(unit)

    def wait_for_no_device(self, unit):
        status, _ = self.guest("i=0; while ls /sys/class/scsi_generic/ | grep -q sg; do i=$((i+1)); "
                               "[ $i -gt %d ] && exit 1; sleep 0.1; done" % (SETTLE_LIMIT * 10), SETTLE_LIMIT)
        if status != 0:
            raise TestTrouble("unit %d did not leave the guest" % unit)

    def tool(self, words):
        """qzvctl's JSON answer in the guest."""
        status, output = self.guest("qzvctl --json " + words)
        try:
            answer = json.loads(output)
        except ValueError:
            answer = {"unreadable": output}
        return status, answer

    def expected_tool(self, words, product, revision):
        """qzvctl's JSON answer on the host's simulated unit."""
        done = subprocess.run([self.options.qzvctl, "--json", "--sim-product", product, "--sim-revision", revision]
                              + words.split(), capture_output=True, timeout=30)
        return json.loads(done.stdout)

    def revision_after(self, server, unit):
        self.attach(server, unit)
        _, answer = self.tool("inquiry")
        self.detach(unit)
        return answer.get("result", {}).get("revision")

    def start_update(self, image, front_end=None):
        """Starts qzvupdate in the guest with Start pressed: by a line on its input, or by front_end (a
        command that runs it on a terminal). Its output ends with the guest's seconds from start to end."""
        run = front_end or "printf 's\\n' | timeout %d qzvupdate %s" % (GUEST_LIMIT, image)
        return self.qemu.guest.start("t0=$(cut -d' ' -f1 /proc/uptime); %s; rc=$?; "
                                     "echo \"@@seconds $t0 $(cut -d' ' -f1 /proc/uptime)\"; exit $rc" % run)

    def wait_for_leaving(self, unit, mark, run):
        """The position of the server's line that says the unit left to restart; None when the program
        ended first."""
        deadline = time.monotonic() + GUEST_LIMIT
        while time.monotonic() < deadline:
            leaving = self.sim.events.first(r"^restart unit=%d leaving" % unit, mark)
            if leaving is not None:
                return leaving
            if self.qemu.guest.done(run):
                return None
            time.sleep(0.02)
        self.detach(unit)
        raise TestTrouble("the unit did not leave, nor did the program end; its output:\n%s" %
                          self.finish_update(run)[1])

    def finish_update(self, run):
        """(exit status, output, seconds in the guest)."""
        status, output = self.qemu.guest.finish(run, GUEST_LIMIT + 10)
        found = re.search(r"\n?@@seconds (\S+) (\S+)\n?$", output)
        if not found:
            return status, output, 0.0
        return status, output[:found.start()], float(found.group(2)) - float(found.group(1))

    # ---- the checks -----------------------------------------------------------------------------

    def tools_through_kernel(self, unit):
        """qzvctl list, inquiry and capacity answer as they do on the host's simulated unit."""
        product, revision, _ = UNITS[unit]
        since, model = self.attach(self.sim, unit)
        self.kernel_scan = normalised(self.sim.unit_commands(unit, since))
        self.notes.append("QEMU opening the LUN sent:")
        self.notes += summary(self.sim, unit, since, self.device_mark)
        self.notes.append("the guest kernel's scan of the new device sent:")
        self.notes += summary(self.sim, unit, self.device_mark, None)
        self.checks.same("the unit arrives in the guest as a SCSI generic device", model, product)
        for words in ("list", "inquiry", "capacity"):
            status, got = self.tool(words)
            expected = self.expected_tool(words, product, revision)
            if words == "list":
                # The drive letter is the emulated Windows machine's own.
                for entry in expected.get("result", {}).get("units", []) + got.get("result", {}).get("units", []):
                    entry.pop("drive", None)
            self.checks.same("qzvctl --json %s through the kernel" % words, (status, got), (0, expected))
        self.detach(unit)

    def update(self, unit, image, name, front_end=None, resizes=False):
        """Start pressed: the update ends in 4012 once the unit has left the guest, the program showed the
        emulated machine's texts, the unit received exactly the emulated machine's commands, and after
        its restart it reports the image's revision."""
        product, revision, _ = UNITS[unit]
        expected = self.demo.run(product, revision, image)
        self.attach(self.sim, unit)
        mark = self.sim.events.settled_mark()
        run = self.start_update(image, front_end)
        leaving = self.wait_for_leaving(unit, mark, run)
        # The restarting unit leaves the guest as a unit pulled out of its slot does: the program waits
        # for the kernel's removal event.
        self.detach(unit)
        status, output, seconds = self.finish_update(run)
        commands = normalised(self.sim.unit_commands(unit, mark, leaving))
        texts = text_lines(output)
        if front_end:
            found = re.search(r"ptykeys: exit (\d+) resizes (\d+)", output)
            count = int(found.group(2)) if found else 0
            self.checks.check("%s: the terminal was resized during the download" % name, count >= 10,
                              "%d resizes" % count)
            self.checks.same("%s: qzvupdate ends in 4012 with exit status 0" % name,
                             (status, DONE_TEXT in output), (0, True))
            self.notes.append("%s: %d resizes (SIGWINCH) during the update" % (name, count))
        else:
            self.checks.same("%s: qzvupdate ends in 4012 with exit status 0" % name,
                             (status, DONE_TEXT in output), (0, True))
            self.checks.same("%s: the program's texts are the emulated machine's" % name, texts, expected.texts)
        self.checks.same("%s: the unit received exactly the emulated machine's commands" % name,
                         commands, expected.commands)
        self.notes.append("%s: %.2f s in the guest from the program's start to 4012, %d commands" %
                          (name, seconds, len(commands)))
        if leaving is None:
            self.checks.check("%s: the unit restarted with its new firmware" % name, False, "it never left")
            return
        self.sim.events.wait_for(r"^restart unit=%d back" % unit, leaving, RESTART_MS / 1000 + 10)
        self.checks.same("%s: after the restart qzvctl inquiry shows revision %s" % (name, expected.new_revision),
                         self.revision_after(self.sim, unit), expected.new_revision)

    def removal_during_download(self, unit, image):
        """The unit leaves the guest right after the download's first WRITE BUFFER: the program shows its
        failure text and ends, the unit receives nothing more, its firmware stays."""
        name = "unit removed during the download"
        product, revision, _ = UNITS[unit]
        complete = self.demo.run(product, revision, image)
        self.attach(self.sim, unit)
        mark = self.sim.events.settled_mark()
        run = self.start_update(image)
        try:
            self.sim.events.wait_for(r"^command unit=%d by=unit 3B " % unit, mark, GUEST_LIMIT)
        finally:
            self.detach(unit, paused=True)
        removed = self.sim.events.wait_for(r"^logout unit=%d " % unit, mark, 10)[0]
        status, output, seconds = self.finish_update(run)
        before = normalised(self.sim.unit_commands(unit, mark, removed))
        downloads = [i for i, line in enumerate(complete.commands) if line.startswith("3B ")]
        # What reached the unit is the update's beginning: through the first WRITE BUFFER, and at most
        # the one more that was on its way when the unit left.
        self.checks.check("%s: the unit received the update's first commands and nothing else" % name,
                          before == complete.commands[:len(before)] and
                          downloads[0] < len(before) <= downloads[1] + 1,
                          "\n       ".join(["it received:"] + before))
        # The emulated machine's unit that leaves after the same number of commands.
        unplugged = self.demo.run(product, revision, image, "unplug:%d" % len(before))
        self.checks.same("%s: the program shows the emulated machine's failure texts" % name,
                         text_lines(output), unplugged.texts)
        self.checks.check("%s: the program ends with a failure status, in time" % name,
                          status not in (0, 124) and seconds < 20, "status %d after %.1f s" % (status, seconds))
        self.notes.append("%s: the program ended %.2f s after its start with status %d" % (name, seconds, status))
        time.sleep(1)
        self.checks.same("%s: no command reaches the unit after it left" % name,
                         self.sim.unit_commands(unit, removed), [])
        self.checks.same("%s: the unit's firmware is unchanged" % name, self.revision_after(self.sim, unit), revision)

    def refused_download(self, image):
        """A unit that refuses the saving WRITE BUFFER: 4017, and nothing saved. The fault counts every
        command the unit receives, the kernel's included, so the server is started for it now that the
        number of commands a unit receives while it is attached is known."""
        name = "saving WRITE BUFFER refused"
        product, revision = "QZV-57H", "1.99"
        complete = self.demo.run(product, revision, image)
        nth = max(i for i, line in enumerate(complete.commands) if line.startswith("3B ")) + 1
        expected = self.demo.run(product, revision, image, "sense:%d" % nth)
        self.faulty = Qzvsim(self.options.qzvsim, self.options.port + 1,
                             ["--product=" + product, "--revision=" + revision,
                              "--fault=sense:%d" % (len(self.kernel_scan) + nth)], 1,
                             os.path.join(self.work, "qzvsim-fault.log"))
        since, _ = self.attach(self.faulty, 0)
        scan = normalised(self.faulty.unit_commands(0, since))
        self.checks.same("the kernel sends each unit the same commands when it attaches it", scan, self.kernel_scan)
        mark = self.faulty.events.settled_mark()
        status, output, _ = self.finish_update(self.start_update(image))
        end = self.faulty.events.settled_mark()
        self.checks.same("%s: qzvupdate shows 4017 and the emulated machine's texts" % name,
                         text_lines(output), expected.texts)
        self.checks.check("%s: the exit status says it failed" % name, status not in (0, 124), "status %d" % status)
        self.checks.same("%s: the unit received exactly the emulated machine's commands" % name,
                         normalised(self.faulty.unit_commands(0, mark, end)), expected.commands)
        _, answer = self.tool("inquiry")
        self.checks.same("%s: the unit stays, at revision %s" % (name, revision),
                         answer.get("result", {}).get("revision"), revision)
        self.detach(0)

    def kernel_initiator(self, unit, image):
        """The guest kernel's own iSCSI initiator (iscsi_tcp, driven by open-iscsi's iscsid and iscsiadm)
        in place of QEMU's, used as the README describes: discovery and login, qzvctl, an update, logout
        when the unit leaves to restart (the updater then shows 4012), and login again to see the new
        revision."""
        name = "the guest kernel's own initiator"
        product, revision, _ = UNITS[unit]
        portal = "%s:%d" % (HOST_FROM_GUEST, self.sim.port)
        target = self.sim.targets[unit]
        node = "iscsiadm -m node -T %s -p %s" % (target, portal)
        # iscsid stays in the foreground of a shell of its own, its messages in a file rather than on
        # the command port.
        status, output = self.guest("mkdir -p /run/lock/iscsi /etc/iscsi/nodes /etc/iscsi/send_targets && "
                                    "(iscsid -f </dev/null >/tmp/iscsid.log 2>&1 &) && sleep 0.5 && "
                                    "iscsiadm -m discovery -t sendtargets -p %s" % portal)
        # The target gives its own address, 127.0.0.1 on the host; through QEMU's address translation
        # the guest reaches it as 10.0.2.2, so the node is recorded under that address by hand.
        self.checks.check("%s: iscsiadm discovery lists the unit's target" % name,
                          status == 0 and "127.0.0.1:%d,1 %s" % (self.sim.port, target) in output.split("\n"),
                          output)
        self.guest(node + " -o new")

        attached = self.disks_attached()
        before = self.sim.events.settled_mark()
        status, output = self.guest(node + " --login")
        self.checks.check("%s: iscsiadm logs in" % name, status == 0, output)
        self.checks.same("%s: the unit arrives as a SCSI generic device" % name,
                         self.wait_for_disk(attached, unit), product)
        self.notes.append("the guest kernel's own initiator logging in, and the kernel's scan, sent:")
        self.notes += summary(self.sim, unit, before, self.sim.events.settled_mark())
        status, got = self.tool("inquiry")
        self.checks.same("%s: qzvctl --json inquiry" % name, (status, got),
                         (0, self.expected_tool("inquiry", product, revision)))

        expected = self.demo.run(product, revision, image)
        mark = self.sim.events.settled_mark()
        self.guest("(printf 's\\n' | timeout %d qzvupdate %s >update.out 2>&1; echo $? >update.rc) "
                   "</dev/null >/dev/null 2>&1 &" % (GUEST_LIMIT, image))
        leaving = self.sim.events.wait_for(r"^restart unit=%d leaving" % unit, mark, GUEST_LIMIT)[0]
        # open-iscsi keeps the disk and logs in again and again while the unit restarts; logging out
        # lets it leave, as a unit pulled out of its slot does.
        status, output = self.guest(node + " --logout")
        self.checks.check("%s: iscsiadm logs out while the unit restarts" % name, status == 0, output)
        status, output = self.guest("i=0; until [ -s update.rc ]; do i=$((i+1)); [ $i -gt %d ] && exit 1; "
                                    "sleep 0.1; done; cat update.out; echo \"@@rc $(cat update.rc)\"" %
                                    (GUEST_LIMIT * 10), GUEST_LIMIT)
        found = re.search(r"@@rc (\d+)\n?$", output)
        self.checks.same("%s: qzvupdate ends in 4012 with exit status 0" % name,
                         (int(found.group(1)) if found else None, DONE_TEXT in output), (0, True))
        texts = text_lines(output[:found.start()] if found else output)
        self.checks.same("%s: the program's texts are the emulated machine's" % name, texts, expected.texts)
        self.checks.same("%s: the unit received exactly the emulated machine's commands" % name,
                         normalised(self.sim.unit_commands(unit, mark, leaving)), expected.commands)
        self.wait_for_no_device(unit)

        self.sim.events.wait_for(r"^restart unit=%d back" % unit, leaving, RESTART_MS / 1000 + 10)
        attached = self.disks_attached()
        self.guest(node + " --login")
        self.wait_for_disk(attached, unit)
        _, answer = self.tool("inquiry")
        self.checks.same("%s: after the restart and a new login qzvctl inquiry shows revision %s" % (
            name, expected.new_revision), answer.get("result", {}).get("revision"), expected.new_revision)
        self.guest(node + " --logout")
        self.wait_for_no_device(unit)

    def two_tools_at_once(self, unit, rounds=6):
        """Two qzvctl processes on the unit at once, each writing and reading back blocks of its own:
        every command reaches the unit once, whole, and each process gets its own data back."""
        name = "two qzvctl at once"
        self.attach(self.sim, unit)
        self.guest("dd if=/dev/urandom of=a.bin bs=4096 count=1 2>/dev/null; "
                   "dd if=/dev/urandom of=b.bin bs=4096 count=1 2>/dev/null")
        mark = self.sim.events.settled_mark()
        self.guest("qzvctl capacity >/dev/null")
        identity = [line for line in normalised(self.sim.unit_commands(unit, mark, self.sim.events.settled_mark()))
                    if not line.startswith("25 ")]
        loop = ("i=0; while [ $i -lt %d ]; do i=$((i+1)); qzvctl write-blocks {lba} {file} >/dev/null && "
                "qzvctl read-blocks {lba} 8 r{file} >/dev/null && cmp {file} r{file} || exit 1; done" % rounds)
        mark = self.sim.events.settled_mark()
        status, output = self.guest("(%s) & a=$!; (%s) & b=$!; wait $a; ra=$?; wait $b; rb=$?; echo $ra $rb" % (
            loop.format(lba=16, file="a.bin"), loop.format(lba=64, file="b.bin")), 120)
        self.checks.same("%s: both processes wrote and read back their own blocks" % name, output.strip(), "0 0")
        commands = normalised(self.sim.unit_commands(unit, mark, self.sim.events.settled_mark()))
        mine = {"a": [], "b": []}
        owners = []
        others = []
        for line in commands:
            cdb = line.split(" | ")[0].split()
            if cdb[0] in ("2A", "28") and cdb[5] in ("10", "40"):
                owner = "a" if cdb[5] == "10" else "b"
                mine[owner].append(line)
                owners.append(owner)
            else:
                others.append(line)
        digests = {}
        for owner in "ab":
            digests[owner] = self.guest("sha256sum %s.bin" % owner)[1].split()[0]
        for owner, lba in (("a", "10"), ("b", "40")):
            one = ["2A 00 00 00 00 %s 00 00 08 00 | out | 4096 | %s | GOOD" % (lba, digests[owner]),
                   "28 00 00 00 00 %s 00 00 08 00 | in | 4096 | %s | GOOD" % (lba, digests[owner])]
            self.checks.same("%s: process %s's commands reached the unit once each, whole and in order" % (
                name, owner), mine[owner], one * rounds)
        self.checks.same("%s: nothing but the two processes' own commands reached the unit" % name,
                         sorted(others), sorted(identity * (4 * rounds)))
        switches = sum(1 for x, y in zip(owners, owners[1:]) if x != y)
        self.checks.check("%s: the two processes' commands alternated at the unit" % name, switches >= 2,
                          "%d switches between the processes" % switches)
        self.notes.append("%s: %d commands, %d switches between the processes" % (name, len(commands), switches))
        self.detach(unit)


def main():
    parser = argparse.ArgumentParser()
    # --examples: the folder of images the guest holds too, LARGE_IMAGE among them.
    for name in ("kernel", "initrd", "qzvsim", "demo", "qzvctl", "examples", "work"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--port", type=int, default=3310)
    # The initramfs holds open-iscsi's tools: check the guest kernel's own initiator too.
    parser.add_argument("--kernel-initiator", action="store_true")
    options = parser.parse_args()
    # A test stopped from outside still stops QEMU and qzvsim (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    for name in ("kernel", "initrd", "qzvsim", "demo", "qzvctl", "examples", "work"):
        setattr(options, name, os.path.abspath(getattr(options, name)))
    checks = Checks()
    test = KernelTest(options, checks)
    try:
        test.start()
        test.tools_through_kernel(0)
        test.update(0, "sample-new.mot", "new layout, QZV-57H 1.99")
        test.update(1, "sample-old.bin", "old layout, QZV-57G 1.50")
        test.update(3, LARGE_IMAGE, "terminal resized again and again during the download",
                    front_end="timeout %d ptykeys --timeout %d --expect '%s' --send s --resize-every 1 "
                    "--expect '%s' --or '%s' --resize-stop --send q -- qzvupdate %s" % (
                        GUEST_LIMIT, GUEST_LIMIT - 5, VERSIONS_TEXT, DONE_TEXT, FAILED_DOWNLOAD_TEXT,
                        LARGE_IMAGE))
        test.removal_during_download(2, LARGE_IMAGE)
        test.two_tools_at_once(4)
        test.refused_download(LARGE_IMAGE)
        if options.kernel_initiator:
            test.kernel_initiator(KERNEL_INITIATOR_UNIT, "sample-new.mot")
        else:
            checks.info("the guest kernel's own initiator: not checked, open-iscsi's tools are missing")
    except TestTrouble as trouble:
        checks.check("the test ran to its end", False, str(trouble))
    except Exception:
        checks.check("the test ran to its end", False, traceback.format_exc())
    finally:
        test.stop()
    for note in test.notes:
        checks.info(note)
    print("kernel-test: %d passed, %d failed" % (checks.passed, checks.failed))
    return 0 if checks.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
