"""The desk's security rules seen from a plain HTTP client, against a real broker and desk."""
import json
import os
import ssl
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import deskfixture as fx  # noqa: E402

TOOL = os.environ.get("ZORLED_TOOL", "")


class DeskSecurity(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.fleet = fx.Fleet(TOOL, {"s1": ["g1"]})
        cls.broker = cls.fleet.start_broker()
        cls.ini = cls.fleet.start_desk(cls.broker)
        cls.port = cls.fleet.desk_port

    @classmethod
    def tearDownClass(cls):
        cls.fleet.stop()

    def logged_in(self):
        c = fx.Client(self.port)
        status, headers, _ = c.login(self.fleet.password)
        self.assertEqual(status, 200)
        return c, headers

    def test_without_a_session_every_api_path_is_401(self):
        c = fx.Client(self.port)
        for method, path in [("GET", "/api/signs"), ("GET", "/api/session"), ("GET", "/api/audit"),
                             ("GET", "/api/job?id=x"), ("GET", "/api/shot.png?sign=s1"),
                             ("GET", "/api/playlog.csv?job=x"), ("POST", "/api/logout"), ("POST", "/api/announce"),
                             ("POST", "/api/publish"), ("POST", "/api/rollback"), ("POST", "/api/shot"),
                             ("POST", "/api/playlog"), ("POST", "/api/restart"), ("POST", "/api/retire"),
                             ("GET", "/api/login"), ("GET", "/api/nothing"), ("DELETE", "/api/signs")]:
            with self.subTest(path=path, method=method):
                self.assertEqual(c.request(method, path, {} if method == "POST" else None)[0], 401)
        # A made-up or ended session is no session.
        c.cookie = "zorled_desk=" + "0" * 64
        self.assertEqual(c.request("GET", "/api/signs")[0], 401)

    def test_session_cookie_and_logout(self):
        c, headers = self.logged_in()
        cookie = headers["set-cookie"]
        value = cookie.split(";")[0].split("=", 1)[1]
        self.assertGreaterEqual(len(value) * 4, 128)
        for flag in ("HttpOnly", "SameSite=Strict", "Path=/"):
            self.assertIn(flag, cookie)
        self.assertNotIn("Secure", cookie)  # plain HTTP on loopback
        self.assertEqual(c.request("GET", "/api/signs")[0], 200)
        self.assertEqual(c.post("/api/logout", {})[0], 200)
        self.assertEqual(c.request("GET", "/api/signs")[0], 401)

    def test_a_change_without_the_csrf_token_is_403(self):
        c, _ = self.logged_in()
        for token in (None, "", "0" * 32, c.csrf + "x"):
            with self.subTest(token=token):
                headers = {} if token is None else {"X-CSRF-Token": token}
                self.assertEqual(c.request("POST", "/api/restart", {"sign": "s1"}, headers)[0], 403)
        # Another session's token does not do either.
        other, _ = self.logged_in()
        self.assertEqual(c.request("POST", "/api/restart", {"sign": "s1"}, {"X-CSRF-Token": other.csrf})[0], 403)
        self.assertEqual(c.post("/api/restart", {"sign": "nobody"})[0], 202)

    def test_the_sixth_failed_login_in_a_minute_is_429(self):
        # From an address of its own, so the other tests can still log in.
        c = fx.Client(self.port, source="127.0.0.9")
        for i in range(5):
            self.assertEqual(c.login("wrong")[0], 401, i)
        self.assertEqual(c.login("wrong")[0], 429)
        self.assertEqual(c.login(self.fleet.password)[0], 429)
        self.assertEqual(fx.Client(self.port, source="127.0.0.10").login(self.fleet.password)[0], 200)

    def test_static_files_come_from_the_program_only(self):
        c = fx.Client(self.port)
        status, headers, body = c.request("GET", "/")
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-security-policy"].split(";")[0], "default-src 'self'")
        self.assertIn(b"desk.js", body)
        secret = open(self.ini).read().encode()
        for path in ["/../fleet.ini", "/%2e%2e/fleet.ini", "/%2E%2E%2Ffleet.ini", "/..%2f..%2fetc%2fpasswd",
                     "/desk.js/../../fleet.ini", "/../../../../etc/passwd", "/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
                     "/api/../../fleet.ini", "/fleet.ini", "/desk-home/pagedef/SelectList.PLN", "//etc/passwd",
                     "/index.html/..", "/web/desk.js"]:
            with self.subTest(path=path):
                status, _, body = c.request("GET", path)
                self.assertNotEqual(status, 200)
                self.assertNotIn(b"root:", body)
                self.assertNotIn(b"password_hash", body)
                self.assertFalse(secret and secret in body)

    def test_a_body_over_a_megabyte_is_413(self):
        c, _ = self.logged_in()
        big = b"x" * (2 * 1024 * 1024)
        for path in ("/api/announce", "/api/login", "/"):
            with self.subTest(path=path):
                try:
                    status = c.request("POST", path, raw=big, headers={"X-CSRF-Token": c.csrf})[0]
                except (BrokenPipeError, ConnectionResetError):
                    status = "connection dropped before an answer"
                self.assertEqual(status, 413)
        # The desk serves on.
        self.assertEqual(c.request("GET", "/api/signs")[0], 200)

    def test_websocket_needs_a_session_and_the_desks_own_origin(self):
        c, _ = self.logged_in()
        port = self.port
        self.assertEqual(fx.websocket_close_code(port), 1008)
        self.assertEqual(fx.websocket_close_code(port, cookie="zorled_desk=" + "1" * 64), 1008)
        self.assertEqual(fx.websocket_close_code(port, cookie=c.cookie, origin="http://evil.example"), 1008)
        self.assertEqual(fx.websocket_close_code(port, cookie=c.cookie, origin=""), 1008)
        self.assertIsNone(fx.websocket_close_code(port, cookie=c.cookie))

    def test_settings_the_desk_refuses_to_start_with(self):
        hash_ = self.fleet.hash_password("x")
        cases = [
            ("listen=0.0.0.0:%d\npassword_hash=%s\n" % (fx.free_port(), hash_), "certfile"),
            ("listen=127.0.0.1:%d\n" % fx.free_port(), "password_hash"),
            ("listen=127.0.0.1:%d\npassword_hash=plain\n" % fx.free_port(), "password_hash"),
            ("listen=127.0.0.1:99999\npassword_hash=%s\n" % hash_, "listen"),
            ("listen=127.0.0.1:%d\npassword_hash=%s\ncertfile=nothere.crt\nkeyfile=nothere.key\n"
             % (fx.free_port(), hash_), "certfile"),
        ]
        for section, named in cases:
            with self.subTest(section=section):
                ini = self.fleet.publisher_ini(self.broker, "[desk]\n" + section, name="bad.ini")
                r = self.fleet.run_tool(["desk", "--fleet", ini], timeout=30)
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(named, r.stderr)
                self.assertNotIn("serving", r.stdout)

    def test_https_marks_the_cookie_secure(self):
        root = self.fleet.root
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", os.path.join(root, "desk.key"), "-out", os.path.join(root, "desk.crt"),
                        "-days", "2", "-subj", "/CN=127.0.0.1"], check=True, capture_output=True)
        port = fx.free_port()
        ini = self.fleet.publisher_ini(self.broker, "[desk]\nlisten=127.0.0.1:%d\npassword_hash=%s\n"
                                       "certfile=desk.crt\nkeyfile=desk.key\n"
                                       % (port, self.fleet.hash_password("tls-pass")), name="tls.ini")
        desk = subprocess.Popen([TOOL, "desk", "--fleet", ini, "--home", self.fleet.desk_home],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=self.fleet.env)
        try:
            line = desk.stdout.readline()
            self.assertTrue(line.startswith("desk: serving https://"), line + desk.stderr.read() if not line else line)
            context = ssl.create_default_context(cafile=os.path.join(root, "desk.crt"))
            context.check_hostname = False
            import http.client
            conn = http.client.HTTPSConnection("127.0.0.1", port, context=context, timeout=30)
            conn.request("POST", "/api/login", body=json.dumps({"password": "tls-pass"}),
                         headers={"Content-Type": "application/json"})
            r = conn.getresponse()
            r.read()
            self.assertEqual(r.status, 200)
            self.assertIn("Secure", r.getheader("Set-Cookie"))
            conn.request("POST", "/api/announce", body=b"x" * (2 * 1024 * 1024))
            try:
                r = conn.getresponse()
                self.assertEqual(r.status, 413)
            except (BrokenPipeError, ConnectionResetError):
                self.fail("the connection dropped without a 413")
        finally:
            desk.terminate()
            desk.wait(15)


if __name__ == "__main__":
    if len(sys.argv) > 1:
        TOOL = sys.argv.pop(1)
    unittest.main(verbosity=2)
