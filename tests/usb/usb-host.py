#!/usr/bin/env python3
"""The host's half of the USB test: QEMU's monitor (QMP) and the far end of its
emulated FTDI adapters.

  usb-host.py DIR QMP_SOCKET NAME=CHARDEV_SOCKET...

For each chardev it answers what arrives like the monitor's microcontroller
(MCU 48): a read of parameter N, 5FF50A0N000000000000A0FA, gets
5FF5F00A0N<value>00000000A0FA; the settings commands change the values.
Every frame is written to DIR/NAME.frames as "HOST_TIME rx|tx FRAME".

The guest asks for what needs the host through DIR: it writes a request file
DIR/req-N (by renaming it into place) holding one line, and the answer comes
back as DIR/ack-N, "ok ..." or "error ...":
  plug ID CHARDEV SERIAL    device_add of a usb-serial on the xHCI bus
  unplug ID                 device_del, answered once QEMU reports DEVICE_DELETED
  mode CHARDEV monitor|silent   silent: takes every frame, answers none
Plugs and unplugs are logged to DIR/events as "HOST_TIME what ID". A file the
guest writes to DIR/udev.log is copied line by line to DIR/udev.stamped with
the host's time of arrival (for the benchmark).

QEMU 7.2 has been seen to crash in usb_wakeup() when device_del follows a
write into the adapter's chardev within about a millisecond, so an unplug
first silences that adapter and waits until it has been quiet for 0.5 s.
"""
import json, os, socket, sys, threading, time

HEAD, TAIL = "5FF5", "A0FA"
QUIET_BEFORE_UNPLUG = 0.5


def frame(cmd, par, value=None):
    if value is None:
        return "%s%02X%02X%s%s" % (HEAD, cmd, par, "0" * 12, TAIL)
    return "%s%02X%02X%02X%02X%s%s" % (HEAD, cmd, 0x0A, par, value, "0" * 8, TAIL)


class Adapter(threading.Thread):
    """The monitor behind one chardev."""

    def __init__(self, name, path, log_path):
        super().__init__(daemon=True)
        self.name, self.path = name, path
        self.log = open(log_path, "a", buffering=1)
        self.lock = threading.Lock()
        self.mode = "monitor"
        self.muted = False
        self.last_tx = 0.0
        self.state = {1: 5, 2: 3, 3: 3, 4: 2, 7: 1, 8: 40, 9: 60}

    def note(self, what, text):
        self.log.write("%.6f %s %s\n" % (time.time(), what, text))

    def answer(self, f):
        try:
            cmd, par = int(f[4:6], 16), int(f[6:8], 16)
        except ValueError:
            return None
        if cmd == 0x0A:
            value = 48 if par == 0x10 else self.state.get(par)
            return None if value is None else frame(0xF0, par, value)
        if cmd in (1, 2, 4, 7, 8, 9):
            self.state[cmd] = par
            if cmd == 2:
                self.state[3] = par
        return None

    def serve(self, sock):
        buf = ""
        while True:
            chunk = sock.recv(4096)
            if not chunk:
                return
            buf += chunk.decode("ascii", "replace")
            while True:
                i = buf.upper().find(HEAD)
                if i < 0:
                    buf = buf[-3:]
                    break
                if len(buf) - i < 24:
                    buf = buf[i:]
                    break
                f, buf = buf[i:i + 24].upper(), buf[i + 24:]
                self.note("rx", f)
                with self.lock:
                    reply = None if self.muted or self.mode == "silent" else self.answer(f)
                    if reply:
                        sock.sendall(reply.encode())
                        self.last_tx = time.time()
                        self.note("tx", reply)

    def run(self):
        while True:
            s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            try:
                s.connect(self.path)
                self.note("event", "connected")
                self.serve(s)
                self.note("event", "disconnected")
            except OSError:
                pass
            s.close()
            time.sleep(0.05)

    def mute(self):
        with self.lock:
            self.muted = True
            wait = self.last_tx + QUIET_BEFORE_UNPLUG - time.time()
        if wait > 0:
            time.sleep(wait)

    def unmute(self):
        with self.lock:
            self.muted = False


class QMP:
    def __init__(self, path):
        end = time.time() + 120
        while True:
            try:
                self.s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                self.s.connect(path)
                break
            except OSError:
                self.s.close()
                if time.time() > end:
                    raise
                time.sleep(0.05)
        self.f = self.s.makefile("rwb", buffering=0)
        self.events = []
        self.read()
        self.execute("qmp_capabilities")

    def read(self):
        line = self.f.readline()
        if not line:
            raise EOFError("QMP closed")
        return json.loads(line)

    def execute(self, cmd, **args):
        msg = {"execute": cmd}
        if args:
            msg["arguments"] = args
        self.f.write(json.dumps(msg).encode() + b"\n")
        while True:
            r = self.read()
            if "event" in r:
                self.events.append(r)
            elif "error" in r:
                raise RuntimeError(r["error"].get("desc", str(r["error"])))
            else:
                return r.get("return")

    def wait_deleted(self, device, timeout=20):
        end = time.time() + timeout
        self.s.settimeout(0.2)
        try:
            while time.time() < end:
                for e in self.events:
                    if e["event"] == "DEVICE_DELETED" and e.get("data", {}).get("device") == device:
                        self.events.remove(e)
                        return True
                try:
                    self.events.append(self.read())
                except (socket.timeout, TimeoutError):
                    pass
            return False
        finally:
            self.s.settimeout(None)


def follow(src, dst):
    """Copies the lines the guest appends to src to dst, with their time of arrival."""
    out, f, part = None, None, b""
    while True:
        if f is None:
            if not os.path.exists(src):
                time.sleep(0.005)
                continue
            f, out = open(src, "rb"), open(dst, "a", buffering=1)
        chunk = f.read()
        if not chunk:
            time.sleep(0.002)
            continue
        part += chunk
        *lines, part = part.split(b"\n")
        now = time.time()
        for line in lines:
            out.write("%.6f %s\n" % (now, line.decode("utf-8", "replace")))


def main():
    d, qmp_path, entries = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(d, exist_ok=True)
    adapters = {}
    for entry in entries:
        name, path = entry.split("=", 1)
        adapters[name] = Adapter(name, path, os.path.join(d, name + ".frames"))
        adapters[name].start()
    threading.Thread(target=follow, args=(os.path.join(d, "udev.log"), os.path.join(d, "udev.stamped")),
                     daemon=True).start()
    qmp = QMP(qmp_path)
    events = open(os.path.join(d, "events"), "a", buffering=1)
    chardev_of = {}

    def handle(words):
        if words[0] == "plug" and len(words) == 4:
            dev, chardev, serial = words[1:]
            t = time.time()
            qmp.execute("device_add", driver="usb-serial", id=dev, bus="xhci.0", chardev=chardev,
                        serial=serial, **{"always-plugged": True})
            events.write("%.6f device_add %s\n" % (t, dev))
            chardev_of[dev] = chardev
            return "ok %.6f" % t
        if words[0] == "unplug" and len(words) == 2:
            dev = words[1]
            adapter = adapters.get(chardev_of.get(dev))
            if adapter:
                adapter.mute()
            try:
                t = time.time()
                qmp.execute("device_del", id=dev)
                events.write("%.6f device_del %s\n" % (t, dev))
                if not qmp.wait_deleted(dev):
                    return "error QEMU never reported %s deleted" % dev
                events.write("%.6f device_deleted %s\n" % (time.time(), dev))
                return "ok %.6f" % t
            finally:
                if adapter:
                    adapter.unmute()
        if words[0] == "mode" and len(words) == 3 and words[1] in adapters and words[2] in ("monitor", "silent"):
            with adapters[words[1]].lock:
                adapters[words[1]].mode = words[2]
            return "ok"
        return "error bad request: %s" % " ".join(words)

    while True:
        names = sorted((n for n in os.listdir(d) if n.startswith("req-")), key=lambda n: int(n[4:]))
        if not names:
            time.sleep(0.003)
            continue
        for name in names:
            path = os.path.join(d, name)
            with open(path) as f:
                words = f.read().split()
            os.unlink(path)
            try:
                result = handle(words) if words else "error empty request"
            except Exception as e:  # the guest hears of every failure
                result = "error %s" % e
            tmp = os.path.join(d, ".ack-" + name[4:])
            with open(tmp, "w") as f:
                f.write(result + "\n")
            os.rename(tmp, os.path.join(d, "ack-" + name[4:]))


if __name__ == "__main__":
    try:
        main()
    except (KeyboardInterrupt, EOFError, BrokenPipeError):
        pass
