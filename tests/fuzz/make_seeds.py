#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/<target>/seed-*.

The seeds are the byte-exact examples of the unit tests, built here independently of the
program: discovery replies, settings replies of the three layouts, reply sequences for the
configuration exchange, a settings file, update files, address and MAC entry texts. Inputs the
fuzzer found (crash-*, named by libFuzzer) live beside them and are never overwritten.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def chunk(data):
    return bytes([len(data)]) + data


def chunk2(data):
    return struct.pack(">H", len(data)) + data


def discovery_reply(mac, ip, name):
    return b"K9ZEV" + bytes(mac) + bytes(ip) + b"\x27\x11" + name.encode().ljust(16, b"\0")


def reply_checksum(body):
    value = 65535 - (sum(body) % 65536)
    return bytes([value >> 8, value & 255])


def settings_reply(firm, boot, length):
    body = bytearray(length - 2)
    body[0:2] = b"XQ"
    body[34:38] = struct.pack(">I", 9600)
    body[44:46] = bytes([1, 2])
    body[47:50] = bytes(boot)
    body[59:62] = bytes(firm)
    if length >= 240:
        body[90:92] = struct.pack(">H", 10002)
        # rule 1: 192.168.1.20 port 23, TCP + power-up + login, 30 s
        body[94:106] = bytes([192, 168, 1, 20]) + struct.pack(">HBBi", 23, 7, 0, 30)
        body[106:118] = bytes([10, 0, 0, 1]) + struct.pack(">HBBi", 0xFFFF, 1, 0, -1)
    if length >= 432:
        body[238:244] = b"login:"
        body[270:279] = b"password:"
        body[302:307] = b"admin"
        body[366:372] = b"secret"
    body[4:8] = bytes([192, 168, 1, 20])
    return bytes(body) + reply_checksum(body)


def update_file(records, total=None, version=0x010011):
    data_bytes = sum(len(d) for _, d in records)
    header = struct.pack("<BBiiiiii", 100, 0, version, 0, 0xFFFF, 0, 0xFFFFFF,
                         data_bytes if total is None else total)
    out = header
    for address, data in records:
        out += struct.pack("<iH", address, len(data)) + data
    return out


def settings_file(lines):
    return b"".join(line.encode("latin-1") + b"\r\n" for line in lines)


def main():
    # Discovery: one reply; the same MAC twice; addresses whose text order is not numeric order.
    a = discovery_reply([0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E], [192, 168, 1, 5], "TALIX-1")
    b = discovery_reply([0x00, 0x50, 0xC2, 0x5A, 0x30, 0x01], [10, 0, 0, 10], "  Line 2  ")
    c = discovery_reply([0x00, 0x50, 0xC2, 0x5A, 0x30, 0x02], [10, 0, 0, 9], "\x00\xe9\x7fHii")
    d = discovery_reply([0x00, 0xBA, 0xDB, 0xAD, 0x00, 0x01], [10, 0, 0, 9], "new")
    write("fuzz_discovery", "one", chunk(a))
    write("fuzz_discovery", "twice", chunk(a) + chunk(a))
    write("fuzz_discovery", "order", chunk(b) + chunk(c) + chunk(d) + chunk(a))
    write("fuzz_discovery", "short", chunk(b"ZEVID") + chunk(a[:32]) + chunk(b"K9ZEX" + a[5:]))

    basic_zero = b"XQ" + bytes(60)
    basic_zero += reply_checksum(basic_zero)
    basic = settings_reply([1, 0, 4], [1, 0, 4], 64)
    rules = settings_reply([1, 0, 11], [1, 0, 5], 240)
    login = settings_reply([1, 0, 17], [1, 0, 7], 432)
    erased_login = settings_reply([0, 0, 0], [1, 0, 7], 432)
    write("fuzz_settingsreply", "basic-zero", basic_zero)
    write("fuzz_settingsreply", "basic", basic)
    write("fuzz_settingsreply", "rules", rules)
    write("fuzz_settingsreply", "login", login)
    write("fuzz_settingsreply", "erased-login", erased_login)
    write("fuzz_settingsreply", "login-short", login[:64])
    write("fuzz_settingsreply", "rules-bad-checksum", rules[:-1] + bytes([(rules[-1] + 1) & 255]))

    # Exchange: [op] then [control][length, 2 bytes][bytes] events; control 3 is a time-out.
    xa, xn = b"XA\0\0", b"XN\0\0"
    write("fuzz_commandexchange", "read", bytes([3, 0]) + chunk2(login) + bytes([3 << 2]) + chunk2(rules))
    write("fuzz_commandexchange", "read-bad", bytes([3, 0]) + chunk2(rules[:-1] + b"\0"))
    write("fuzz_commandexchange", "save-ack", bytes([1, 0]) + chunk2(xa) + bytes([2 << 2]) + chunk2(xa))
    write("fuzz_commandexchange", "mac", bytes([4, 0]) + chunk2(xa) + bytes([5 << 2]) + chunk2(xa))
    write("fuzz_commandexchange", "nack-timeout", bytes([1, 0]) + chunk2(xn) + bytes([(3 << 2) | 3]))
    write("fuzz_commandexchange", "stranger", bytes([3, 2]) + chunk2(login) + bytes([0]) + chunk2(b"XA\0"))
    write("fuzz_commandexchange", "q-for-save", bytes([1, 0]) + chunk2(basic) + bytes([0]) + chunk2(b"XZ\0\0"))

    rule_lines = []
    for n in range(1, 13):
        if n == 1:
            rule_lines += ['"Connect to 192.168.1.20, Port 23, using TCP"', '"192.168.1.20"', "23", "7", "30"]
        else:
            rule_lines += ['""', '""', "0", "3", "0"]
    lines = (["#FALSE#", '"192.168.1.20"', '"255.255.255.0"', '"192.168.1.1"', '"Bridge"', '"10001"',
              "4", "0", '"40000"', "1"] + rule_lines +
             ['"login:"', '"password:"', '"admin"', '"pa""ss"'])
    write("fuzz_settingsfile", "valid", settings_file(lines))
    write("fuzz_settingsfile", "short", settings_file(lines[:40]))
    write("fuzz_settingsfile", "flags-300", settings_file(lines[:13] + ["300"] + lines[14:]))
    write("fuzz_settingsfile", "lf-only", b"".join(l.encode() + b"\n" for l in lines))

    seq40 = bytes(range(40))
    write("fuzz_updatefile", "two-blocks", update_file([(0x1000, seq40), (0x1028, seq40)]))
    write("fuzz_updatefile", "one-block", update_file([(0x1000, bytes(16)), (0x1010, bytes(16))]))
    write("fuzz_updatefile", "gap", update_file([(0x1FE0, bytes(16)), (0x2000, b"\1\2\3\4")]))
    write("fuzz_updatefile", "total-mismatch", update_file([(0x1000, b"\1\2\3\4")], total=5))
    write("fuzz_updatefile", "cut", update_file([(0x1000, seq40)])[:50])

    texts = ["192.168.1.1", "192.168.1", ".1.2.3", "1..2.3", "256.1.1.1", "1.2.3.", "-0.1.2.3",
             "10.0.0.300", "1.2.3.4.5", " 4.5 ", "65535", "Ver 2.1.3 (BOOT V2 (new).bin)", "1.2", "1.0.17"]
    for i, text in enumerate(texts):
        write("fuzz_texts", "%02d" % i, bytes([17, 16]) + text.encode())

    for entry in ["5a3abc", "5A2FFF", "5A4000", "5A3G00", "12345", "5A3000", "5A3FFF"]:
        write("fuzz_macentry", entry, entry.encode())

    # The worked examples of the save command and a block, as bytes the device side would see.
    write("fuzz_texts", "save-example", bytes.fromhex(
        "58530000C0A80114FFFFFF00C0A80101427269646765000000000000000000002711000025800000000000F647"))


if __name__ == "__main__":
    main()
