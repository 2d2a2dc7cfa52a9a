#!/usr/bin/env python3
"""The time sync's landing under remote-control load, and the time from an
MQTT command to the first frame that carries it.

Starts a private D-Bus session bus, Debian's mosquitto on a free loopback
port and the headless service on a pseudo-terminal, then measures twice for
SECONDS each: without load (the baseline), and while a D-Bus client changes
the colours 10 times a second (dbus-send) and an MQTT client sends 100
colour commands a second (mosquitto_pub -l). Landing: when the frame whose
seconds digit changed arrives at the pseudo-terminal, against the real
second (the frame leaves early by its wire time, so about -3.7 ms is on
time). Command to frame: from writing an MQTT command to the arrival of the
first frame in its colour; frames leave only on the 200 ms grid, so this
is at most about one period plus the command's way, and at 100 commands a
second only the last before each grid point is seen in a frame.

    bench/remote_load.py HALODIAL_BINARY [SECONDS]     (default 20)
"""
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import tty

FRAME = 43


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


class Frames(threading.Thread):
    """Reads time frames at the master; notes landings and colours."""

    def __init__(self, master):
        super().__init__(daemon=True)
        self.master = master
        self.landings = []      # (monotonic, ms after the shown second's start)
        self.colour_seen = {}   # tube 1's colour -> first monotonic arrival
        self.last_shown = None

    def run(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                return
            wall, mono = time.time(), time.monotonic()
            pending += chunk
            while True:
                start = pending.find(b"/")
                if start < 0 or len(pending) - start < FRAME:
                    pending = pending[start:] if start >= 0 else b""
                    break
                frame, pending = pending[start:start + FRAME], pending[start + FRAME:]
                self.note(frame, wall, mono)

    def note(self, frame, wall, mono):
        try:
            digits = "".join(chr(frame[1 + 7 * i]) for i in range(6))
            colour = frame[2:8].decode()
        except (UnicodeDecodeError, IndexError):
            return
        self.colour_seen.setdefault(colour, mono)
        if digits == self.last_shown:
            return
        changed = self.last_shown is not None
        self.last_shown = digits
        if not changed or not digits.isdigit():
            return
        local = time.localtime(wall)
        shown = int(digits[0:2]) * 3600 + int(digits[2:4]) * 60 + int(digits[4:6])
        now = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec + (wall % 1)
        error = (now - shown + 43200) % 86400 - 43200
        self.landings.append((mono, error * 1000))
        if os.environ.get("REMOTE_LOAD_TRACE"):
            print(digits, "%+.1f" % (error * 1000), file=sys.stderr)


def main():
    binary = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    work = tempfile.mkdtemp(prefix="halodial-remote-load-")
    with open(os.path.join(work, "bus.conf"), "w") as f:
        f.write('<busconfig><type>session</type><listen>unix:dir=%s</listen><auth>EXTERNAL</auth>'
                '<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>'
                '<allow own="*"/></policy></busconfig>' % work)
    bus = subprocess.Popen(["dbus-daemon", "--config-file=" + os.path.join(work, "bus.conf"), "--print-address",
                            "--nofork"], stdout=subprocess.PIPE, text=True)
    address = bus.stdout.readline().strip()
    port = free_port()
    with open(os.path.join(work, "mosquitto.conf"), "w") as f:
        f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n%s" %
                (port, "user root\n" if os.geteuid() == 0 else ""))
    broker = subprocess.Popen(["/usr/sbin/mosquitto", "-c", os.path.join(work, "mosquitto.conf")],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    master, slave = os.openpty()
    tty.setraw(master)
    environment = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address, XDG_CONFIG_HOME=work)
    time.sleep(0.5)
    service = subprocess.Popen([binary, "--headless", "--reset-settings", "--port", os.ttyname(slave), "--sync",
                                "--mqtt", "mqtt://127.0.0.1:%d" % port, "--mqtt-prefix", "halodial/bench"],
                               env=environment, stderr=subprocess.DEVNULL)
    frames = Frames(master)
    frames.start()
    time.sleep(3)  # the service has joined the bus and the broker

    begin = time.monotonic()
    time.sleep(seconds)
    baseline = [e for t, e in frames.landings if t >= begin]

    stop = threading.Event()
    sent = {}

    def dbus_load():
        n = 0
        while not stop.is_set():
            colour = "%02X%02X00" % (n % 256, 255 - n % 256)
            subprocess.run(["dbus-send", "--session", "--dest=org.halodial.Halodial", "--type=method_call",
                            "--print-reply", "/org/halodial/Halodial", "org.halodial.Halodial1.SetColours",
                            "array:string:" + colour], env=environment, stdout=subprocess.DEVNULL)
            n += 1
            stop.wait(0.1)

    def mqtt_load():
        publisher = subprocess.Popen(["mosquitto_pub", "-h", "127.0.0.1", "-p", str(port), "-l", "-t",
                                      "halodial/bench/light/rgb/set"], stdin=subprocess.PIPE, text=True)
        n = 0
        next_at = time.monotonic()
        while not stop.is_set():
            r, g = n % 256, (n // 256) % 256
            sent["%02X%02XC8" % (r, g)] = time.monotonic()
            publisher.stdin.write("%d,%d,200\n" % (r, g))
            publisher.stdin.flush()
            n += 1
            next_at += 0.01
            stop.wait(max(0.0, next_at - time.monotonic()))
        publisher.stdin.close()
        publisher.wait()

    loaders = [threading.Thread(target=dbus_load), threading.Thread(target=mqtt_load)]
    begin = time.monotonic()
    for loader in loaders:
        loader.start()
    time.sleep(seconds)
    stop.set()
    for loader in loaders:
        loader.join()
    loaded = [e for t, e in frames.landings if t >= begin]
    latencies = [(frames.colour_seen[c] - t) * 1000 for c, t in sent.items()
                 if c in frames.colour_seen and frames.colour_seen[c] >= t]

    service.terminate()
    service.wait()
    broker.terminate()
    bus.terminate()
    for name, values in (("baseline", baseline), ("under load", loaded)):
        print("landing %-10s: %3d seconds, median %+.2f ms, p99 %+.2f ms, latest %+.2f ms" %
              (name, len(values), statistics.median(values), percentile(values, 99),
               max(values)))
    print("MQTT commands sent: %d, seen in a frame: %d" % (len(sent), len(latencies)))
    if latencies:
        print("command to frame: median %.1f ms, p99 %.1f ms" % (statistics.median(latencies),
                                                                percentile(latencies, 99)))


if __name__ == "__main__":
    main()
