#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/: a handful of well-formed inputs per target.

Run again after changing it; the files are committed, so a fuzz run needs no Python.
"""

import pathlib
import shutil

MAGIC = bytes([0x5A, 0x35, 0x77, 0xA5])
ACK = 6
NAK = 0x15
MODEL = 186

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"


def frame(code, *payload):
    return MAGIC + bytes([code]) + bytes(payload)


def put(buf, at, data):
    buf[at:at + len(data)] = data


def info_reply(model=MODEL, address=(192, 168, 77, 1)):
    r = bytearray(256)
    put(r, 0, frame(33, ACK))
    r[6] = model
    put(r, 7, bytes(reversed(address)))
    put(r, 11, bytes([0x02, 0x4B, 0x7A, 0x3C, 0x60, 0x01]))
    put(r, 17, bytes([1, 7, 45, 3, 5]))
    put(r, 24, bytes([1, 0x0A]))
    put(r, 36, (120).to_bytes(2, "big"))
    put(r, 40, b"Office")
    put(r, 80, b"KST-06-QZ-603C01")
    r[112] = 2
    put(r, 128, b"kQZHUB")
    r[160] = 2
    r[176] = 2
    r[177] = 1
    r[178] = 1
    put(r, 179, (502).to_bytes(2, "big"))
    r[181] = 1
    put(r, 182, bytes([192, 168, 1, 50, 255, 255, 255, 0, 192, 168, 1, 1]))
    put(r, 194, (0xFFCE).to_bytes(2, "big"))
    r[196] = 1
    r[198] = 1
    return bytes(r)


# fuzz_reply: [awaited code index][state bits][reply].
HAS_IO = 0x03
SUM_MATCHES = 1 << 3
ADDRESS_MATCHES = 0x20


def reply_seeds():
    status = frame(216, ACK, 1, 1, 0xFF, 0xCE, 0, 0, 1)
    return {
        "idle_status": bytes([0, HAS_IO]) + status,
        "locator_ack": bytes([1, 0]) + frame(29, ACK),
        "locator_refused": bytes([1, 0]) + frame(29, NAK),
        "info": bytes([2, ADDRESS_MATCHES]) + info_reply(),
        "info_unknown_model": bytes([2, ADDRESS_MATCHES]) + info_reply(model=7),
        "info_other_address": bytes([2, 0]) + info_reply(address=(10, 0, 0, 9)),
        "checksum_match": bytes([3, SUM_MATCHES]) + frame(37, ACK, 0, 0x12, 0x34, 0x56),
        "checksum_mismatch": bytes([3, 0]) + frame(37, ACK, 0, 0, 0, 1),
        "reset_ack": bytes([4, 0]) + frame(45, ACK),
        "reset_refused": bytes([4, 0]) + frame(45, NAK),
        "kill_file": bytes([5, 0]) + frame(93, ACK),
        "kill_config": bytes([6, 0]) + frame(94, ACK),
        "set_output": bytes([7, HAS_IO]) + frame(208, ACK, 1, 1),
        "status": bytes([8, HAS_IO]) + status,
        "wifi_mode": bytes([9, 0]) + frame(48, ACK),
        "wrong_magic": bytes([8, 0]) + b"\x5a\x35\x77\xa4" + bytes([216, ACK]),
        "decode_only": bytes([12, ADDRESS_MATCHES]) + info_reply(),
    }


def text_seeds():
    texts = [
        "192.168.77.1",
        "010.001.002.003",
        "1.2.3.4.5",
        "255.255.255.256",
        "$7FFFFFFF",
        "-0x80000000",
        "  +42",
        "4294967296",
        "502\n120",
        "13577\n30",
        "65535\n65000",
        "192.168.1.50\n255.255.255.0\n192.168.1.1",
    ]
    return {f"text{i:02}": t.encode() for i, t in enumerate(texts)}


def path_request(code, path, length=40):
    r = bytearray(length)
    put(r, 0, frame(code))
    put(r, 5, (len(path)).to_bytes(4, "big"))
    r[16] = len(path)
    put(r, 17, path)
    return bytes(r)


def record(selector, data):
    return bytes([selector, len(data)]) + data


def sim_seeds():
    return {
        "locator": frame(29, 1, 0),
        "info": frame(33, 0, 0),
        "checksum": frame(37, 0, 0x12, 0x34, 0x56),
        "checksum_notify": frame(38, 0, 0x12, 0x34, 0x56),
        "reset": frame(45),
        "wifi_mode": frame(48, 1),
        "web_key": frame(50, 5) + b"abcde",
        "kill_file": path_request(93, b"/local/ap_key.cfg"),
        "kill_config": frame(94, 0),
        "file_header": path_request(95, b"/local/locate.cfg", 60),
        "image_header": path_request(90, b"mcuimg.bin"),
        "set_output": frame(208, 1, 3, 0),
        "status": frame(216),
        "modbus_updated": frame(220),
        # Flash files: ap_ssid, sta_ip, locate, mbport, wifi_mode.
        "files": record(0, b"KST-06-QZ-603C02")
        + record(5, bytes([192, 168, 1, 50, 255, 255, 255, 0, 192, 168, 1, 1]))
        + record(6, b"Warehouse")
        + record(7, bytes([0x01, 0xF6, 0x00, 0x1E]) + bytes(6))
        + record(8, b"\x00"),
        "firmware": b"\x7fIMG" + bytes(40) + b"FWVER=\x02\x0b" + bytes(20),
    }


def command_seeds():
    payloads = [
        '{"state":"ON","tone":2}',
        '{"state":"OFF"}',
        '{"state":"ON","tone":"3"}',
        '{"state":"ON"}',
        "OFF",
        "PRESS",
        "",
        '{"state":"ON","tone":9}',
        '{"state":"ON","duration":5}',
        "kstbell/024b7a3c6001/siren/set",
        "kstbell/024b7a3c6001/find_me",
        "kstbell//reboot",
    ]
    return {f"command{i:02}": p.encode() for i, p in enumerate(payloads)}


def web_request(method="GET", target="/api/v1/horns", cookie="", authorization="", csrf="",
                content_type="", length="", chunked="", body=""):
    return "\n".join([method, target, cookie, authorization, csrf, content_type, length, chunked,
                      body]).encode()


def web_request_seeds():
    token = "Bearer tok-admin-0123456789"
    ring = '{"group":"ground","tone":1,"duration_s":3}'
    requests = [
        web_request(),
        web_request(authorization=token),
        web_request(target="/api/v1/log?since=2027-01-07T08:00:00Z&kind=ring,alarm_start&limit=5"
                    "&cursor=1799308800000-5", authorization=token),
        web_request(target="/api/v1/horns/127.0.78.1", cookie="theme=x; kstbell_session=abc"),
        web_request("POST", "/api/v1/ring", authorization=token, content_type="application/json",
                    length=str(len(ring)), body=ring),
        web_request("POST", "/api/v1/stop-all", cookie="kstbell_session=cookie-1-for-admin",
                    csrf="csrf-cookie-1-for-admin"),
        web_request("POST", "/api/v1/session", content_type="application/json; charset=utf-8",
                    chunked="chunked", body='{"user":"vic","password":"viewer-pass-5d0a"}'),
        web_request("DELETE", "/api/v1/tokens/%31", authorization=token),
        web_request("GET", "/static/%2e%2e/x", length="12"),
        web_request("PATCH", "/api/v1/users/vic?x=%zz", authorization="Basic abc"),
        web_request("GET", "/metrics", authorization=token),
    ]
    return {f"request{i:02}": r for i, r in enumerate(requests)}


def web_json_seeds():
    bodies = [
        '{"user":"vic","password":"viewer-pass-5d0a"}',
        '{"group":"ground","tone":1,"duration_s":2.5}',
        '{"horns":["127.0.78.1","127.0.78.2"]}',
        '{"date":"2027-01-08","no_bells":true,"name":"Staff training"}',
        '{"from":"2027-01-08","to":"2027-01-10","plan":"school"}',
        '{"name":"ann","role":"operator","password":"pw"}',
        '{"role":"viewer","disabled":true}',
        '{"name":"ci","role":"viewer","user":"vic"}',
        '{"a":{"b":[1,2,{"c":null}]},"a":1}',
        '{}',
    ]
    # The first byte picks the route (modulo the routes with a body); each seed tries each.
    return {f"json{i:02}_{r}": bytes([r]) + b.encode()
            for i, b in enumerate(bodies) for r in range(11)}
def snapshot_seeds():
    head = '{"format":"kstbellctl-config/1",'
    snapshots = [
        head + '"read_from":"192.168.77.1","device":{"model":186},"settings":{'
        '"location":"Office","access_point":{"ssid":"KST-06-QZ-603C01","key_type":"wpa",'
        '"key":"horn-key-1234"},"station":{"ssid":"Plant","key_type":"wep"},'
        '"static_ip":{"ip":"10.0.0.5","mask":"255.255.255.0","gateway":"10.0.0.1"},'
        '"modbus":{"port":502,"idle_timeout_s":120},"wifi_mode":"ap"}}',
        head + '"settings":{"location":"Caf\ufffd","location_hex":"436166e9"}}',
        head + '"settings":{"station":{"ssid":"","key_type":"open"},"static_ip":null}}',
        head + '"settings":{"locaton":"typo"}}',
        head + '"settings":{"modbus":{"port":65536,"idle_timeout_s":-1}}}',
        '{"format":1,"settings":{}}',
        head + '"settings":{"access_point":{"ssid":5,"key_type":null}}}',
        "[" * 40 + "]" * 40,
    ]
    return {f"snapshot{i:02}": s.encode() for i, s in enumerate(snapshots)}


def write(target, seeds):
    folder = ROOT / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


def main():
    write("fuzz_reply", reply_seeds())
    write("fuzz_text", text_seeds())
    write("fuzz_sim_request", sim_seeds())
    write("fuzz_command_payload", command_seeds())
    write("fuzz_web_request", web_request_seeds())
    write("fuzz_web_json", web_json_seeds())
    write("fuzz_snapshot", snapshot_seeds())


if __name__ == "__main__":
    main()
