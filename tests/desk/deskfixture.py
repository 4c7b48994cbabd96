"""Real parts for the desk's tests: Mosquitto brokers on free loopback ports, headless signs,
the desk, and a small MQTT client for messages no sign would send."""
import datetime
import http.client
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
KEEPALIVE = 5


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, limit=60.0):
    """Polls `check` until it gives a true value; fails naming `what` after `limit` seconds."""
    end = time.monotonic() + limit
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.1)


def mosquitto():
    for path in ("/usr/sbin/mosquitto", "/usr/bin/mosquitto"):
        if os.path.exists(path):
            return path
    return "mosquitto"


class MqttClient:
    """A bare MQTT 3.1.1 client publishing at QoS 0, for messages no sign would send."""

    def __init__(self, port, user, password):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=10)
        body = self.string(b"MQTT") + bytes([4, 0xC2]) + struct.pack("!H", 60)
        body += self.string(b"tester-%d-%d" % (os.getpid(), id(self))) + self.string(user.encode())
        body += self.string(password.encode())
        self.socket.sendall(self.packet(0x10, body))
        ack = self.socket.recv(4)
        if len(ack) < 4 or ack[3] != 0:
            raise AssertionError("broker refused the test client: %r" % ack)

    @staticmethod
    def string(b):
        return struct.pack("!H", len(b)) + b

    @staticmethod
    def packet(kind, body):
        length, out = len(body), bytearray()
        while True:
            byte = length % 128
            length //= 128
            out.append(byte | (0x80 if length else 0))
            if not length:
                break
        return bytes([kind]) + bytes(out) + body

    def publish(self, topic, payload, retain):
        self.socket.sendall(self.packet(0x30 | (1 if retain else 0), self.string(topic.encode()) + payload))

    def close(self):
        # A ping answered means every publish before it was taken.
        self.socket.sendall(b"\xc0\x00")
        wait_for("ping answer", lambda: self.socket.recv(2))
        self.socket.sendall(b"\xe0\x00")
        self.socket.close()


def mqtt_publish(port, user, password, messages):
    """Publishes (topic, payload bytes, retain) and disconnects."""
    client = MqttClient(port, user, password)
    for topic, payload, retain in messages:
        client.publish(topic, payload, retain)
    client.close()


class Broker:
    """One Mosquitto with a password file and the example ACL's publisher and sign rules."""

    def __init__(self, root, name, signs, extra_conf="", extra_users=None, extra_acl=""):
        self.dir = os.path.join(root, name)
        os.makedirs(self.dir)
        self.port = free_port()
        users = {"publisher": "publisher-secret", "tester": "tester-secret"}
        users.update({s: s + "-secret" for s in signs})
        users.update(extra_users or {})
        passwd = os.path.join(self.dir, "passwd")
        with open(passwd, "w") as f:
            f.writelines("%s:%s\n" % kv for kv in users.items())
        os.chmod(passwd, 0o600)
        subprocess.run(["mosquitto_passwd", "-U", passwd], check=True)
        # The example ACL's rules, as shipped, with one block per test sign.
        example = open(os.path.join(SOURCE, "packaging", "fleet", "acl")).read()
        rules = [l for l in example.splitlines() if l.startswith("pattern ")]
        publisher = open(os.path.join(SOURCE, "packaging", "fleet", "publisher-acl")).read()
        publisher = "\n".join(l for l in publisher.splitlines() if l and not l.startswith("#"))
        acl = publisher + "\n\nuser tester\ntopic readwrite zorled/#\n\n"
        for sign, groups in signs.items():
            acl += "user %s\n" % sign + "".join("topic read zorled/group/%s/#\n" % g for g in groups) + "\n"
        acl += "\n".join(rules) + "\n"
        acl += extra_acl
        with open(os.path.join(self.dir, "acl"), "w") as f:
            f.write(acl)
        conf = ("user %s\npersistence false\nlog_dest file %s/mosquitto.log\nallow_anonymous false\n"
                "password_file %s\nacl_file %s/acl\nlistener %d 127.0.0.1\n"
                % (os.environ.get("USER") or __import__("pwd").getpwuid(os.getuid()).pw_name,
                   self.dir, passwd, self.dir, self.port))
        conf += extra_conf
        with open(os.path.join(self.dir, "mosquitto.conf"), "w") as f:
            f.write(conf)
        self.process = subprocess.Popen([mosquitto(), "-c", os.path.join(self.dir, "mosquitto.conf")])

        def listening():
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False
        wait_for("broker on port %d" % self.port, listening, 30)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class Fleet:
    """A temporary folder with a broker, a publisher's fleet.ini with its [desk], and sign homes."""

    def __init__(self, tool, signs, keepalive=KEEPALIVE):
        self.tool = tool
        self.root = tempfile.mkdtemp(prefix="zorled-desk-")
        self.signs = signs
        self.keepalive = keepalive
        self.processes = {}
        self.brokers = []
        self.desk = None
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.key = os.path.join(self.root, "publisher.pem")
        subprocess.run(["openssl", "genpkey", "-algorithm", "ed25519", "-out", self.key], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["openssl", "pkey", "-in", self.key, "-pubout", "-out", os.path.join(self.root, "publisher.pub")],
                       check=True)
        self.password = "desk-pass-\u5c4f"

    def start_broker(self, name="broker", **extra):
        broker = Broker(self.root, name, self.signs, **extra)
        self.brokers.append(broker)
        return broker

    def write_secret(self, path, text):
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, 0o600)

    def publisher_ini(self, broker, desk_section="", name="fleet.ini"):
        self.write_secret(os.path.join(self.root, "publisher.password"), "publisher-secret\n")
        path = os.path.join(self.root, name)
        with open(path, "w") as f:
            f.write("[fleet]\nbroker=mqtt://127.0.0.1:%d\nprivate_key=publisher.pem\nusername=publisher\n"
                    "password_file=publisher.password\n\n%s" % (broker.port, desk_section))
        return path

    def run_tool(self, args, stdin=None, home=None, timeout=120):
        env = dict(self.env)
        if home:
            env["ZORLED_HOME"] = home
        return subprocess.run([self.tool] + args, input=stdin, capture_output=True, text=True, env=env,
                              timeout=timeout)

    def make_home(self, path, marker):
        """A play home whose one plan shows one page with a label named mylabel1."""
        pagedef = os.path.join(path, "pagedef")
        os.makedirs(pagedef, exist_ok=True)
        result = self.run_tool(["new", os.path.join(pagedef, "notice.DFM"), "1"])
        assert result.returncode == 0, result.stderr
        with open(os.path.join(pagedef, "notice.Pas"), "a") as f:
            f.write("// %s\n" % marker)
        for name, text in (("SelectList.PLN", "main\r\n"), ("main.LED", "notice\r\n")):
            with open(os.path.join(pagedef, name), "w", newline="") as f:
                f.write(text)

    def start_sign(self, sign, broker):
        home = os.path.join(self.root, "signs", sign)
        if not os.path.exists(home):
            os.makedirs(home)
            self.make_home(home, sign)
            self.write_secret(os.path.join(home, "fleet.password"), sign + "-secret\n")
            shutil.copy(os.path.join(self.root, "publisher.pub"), home)
            with open(os.path.join(home, "fleet.ini"), "w") as f:
                f.write("[fleet]\nbroker=mqtt://127.0.0.1:%d\nsign=%s\ngroups=%s\npublisher_key=publisher.pub\n"
                        "username=%s\npassword_file=fleet.password\nkeepalive=%d\n"
                        % (broker.port, sign, ",".join(self.signs[sign]), sign, self.keepalive))
        log = open(os.path.join(self.root, "sign-%s.log" % sign), "a")
        self.processes[sign] = subprocess.Popen([self.tool, "sign", "--home", home], stdout=log, stderr=log,
                                                env=self.env)
        return home

    def sign_home(self, sign):
        return os.path.join(self.root, "signs", sign)

    def kill_sign(self, sign):
        self.processes[sign].send_signal(signal.SIGKILL)
        self.processes[sign].wait(10)

    def hash_password(self, password):
        result = self.run_tool(["desk", "--hash-password"], stdin=password + "\n")
        assert result.returncode == 0, result.stderr
        return result.stdout.strip().splitlines()[-1]

    def start_desk(self, broker, extra=""):
        self.desk_port = free_port()
        section = "[desk]\nlisten=127.0.0.1:%d\npassword_hash=%s\n%s" % (
            self.desk_port, self.hash_password(self.password), extra)
        ini = self.publisher_ini(broker, section)
        self.desk_home = os.path.join(self.root, "desk-home")
        if not os.path.exists(self.desk_home):
            os.makedirs(self.desk_home)
            self.make_home(self.desk_home, "desk")
        log = open(os.path.join(self.root, "desk.log"), "a")
        self.desk = subprocess.Popen([self.tool, "desk", "--fleet", ini, "--home", self.desk_home],
                                     stdout=subprocess.PIPE, stderr=log, text=True, env=self.env)
        line = self.desk.stdout.readline()
        assert line.startswith("desk: serving"), "the desk did not start: " + line + self.log("desk.log")
        return ini

    def log(self, name):
        try:
            return open(os.path.join(self.root, name)).read()
        except OSError:
            return ""

    def stop(self):
        for p in list(self.processes.values()) + ([self.desk] if self.desk else []):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(15)
                except subprocess.TimeoutExpired:
                    p.kill()
        for b in self.brokers:
            b.stop()
        if os.environ.get("ZORLED_KEEP_TEST_DIR"):
            print("kept", self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    def seed_play_log(self, sign, days_back, lines):
        """Page lines of a past day in a sign's play log: (plan, page, seconds)."""
        day = datetime.date.today() - datetime.timedelta(days=days_back)
        folder = os.path.join(self.sign_home(sign), "log")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "play-%s.log" % day.isoformat()), "a") as f:
            for i, (plan, page, seconds) in enumerate(lines):
                f.write("%s 08:%02d:00\tpage\t%s\t%s\t%d\n" % (day.isoformat(), i, plan, page, seconds))
        return day.isoformat()


class Client:
    """A plain HTTP client of the desk, with the session cookie and CSRF token once logged in."""

    def __init__(self, port, source="127.0.0.1"):
        self.port, self.source = port, source
        self.cookie, self.csrf = "", ""

    def request(self, method, path, body=None, headers=None, raw=None):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30, source_address=(self.source, 0))
        h = dict(headers or {})
        if self.cookie:
            h.setdefault("Cookie", self.cookie)
        data = raw if raw is not None else (json.dumps(body).encode() if body is not None else None)
        if data is not None:
            h.setdefault("Content-Type", "application/json")
        try:
            c.request(method, path, body=data, headers=h)
            r = c.getresponse()
            content = r.read()
            return r.status, dict((k.lower(), v) for k, v in r.getheaders()), content
        finally:
            c.close()

    def login(self, password):
        status, headers, body = self.request("POST", "/api/login", {"password": password})
        if status == 200:
            self.cookie = headers["set-cookie"].split(";")[0]
            self.csrf = json.loads(body)["csrf"]
        return status, headers, body

    def post(self, path, body):
        return self.request("POST", path, body, {"X-CSRF-Token": self.csrf})

    def job(self, path, body, limit=60):
        status, _, answer = self.post(path, body)
        assert status == 202, (status, answer)
        job = json.loads(answer)["job"]

        def done():
            s, _, b = self.request("GET", "/api/job?id=" + job)
            r = json.loads(b)
            return r if r.get("done") else None
        return wait_for(path + " job", done, limit)

    def signs(self):
        return {s["sign"]: s for s in json.loads(self.request("GET", "/api/signs")[2])["signs"]}


def websocket_close_code(port, cookie="", origin=None, host=None):
    """Opens the desk's WebSocket by hand; the close code the desk sends, or None if it stays open."""
    import base64
    key = base64.b64encode(os.urandom(16)).decode()
    host = host or "127.0.0.1:%d" % port
    origin = origin if origin is not None else "http://" + host
    request = ("GET /ws HTTP/1.1\r\nHost: %s\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
               "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\nOrigin: %s\r\n" % (host, key, origin))
    if cookie:
        request += "Cookie: %s\r\n" % cookie
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall((request + "\r\n").encode())
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = s.recv(4096)
            if not chunk:
                return "no handshake"
            data += chunk
        head, rest = data.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            return "refused: " + head.split(b"\r\n")[0].decode()
        s.settimeout(3)
        try:
            while True:
                while len(rest) < 2:
                    chunk = s.recv(4096)
                    if not chunk:
                        return "closed without a close frame"
                    rest += chunk
                opcode, length = rest[0] & 0x0F, rest[1] & 0x7F
                offset = 2
                if length == 126:
                    while len(rest) < 4:
                        rest += s.recv(4096)
                    length, offset = struct.unpack("!H", rest[2:4])[0], 4
                elif length == 127:
                    while len(rest) < 10:
                        rest += s.recv(4096)
                    length, offset = struct.unpack("!Q", rest[2:10])[0], 10
                while len(rest) < offset + length:
                    chunk = s.recv(65536)
                    if not chunk:
                        return "closed without a close frame"
                    rest += chunk
                payload, rest = rest[offset:offset + length], rest[offset + length:]
                if opcode == 8:
                    return struct.unpack("!H", payload[:2])[0] if len(payload) >= 2 else "close without code"
        except socket.timeout:
            return None
