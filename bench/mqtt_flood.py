#!/usr/bin/env python3
"""Publishes COUNT messages with QoS 1 on TOPIC-1 to TOPIC-COUNT, spread evenly over SECONDS,
through one MQTT 3.1.1 connection to the broker on 127.0.0.1:PORT, and returns once the broker
has acknowledged each: one client floods as fast as any attacker's could, where a process a
message would measure process starts.

    mqtt_flood.py PORT TOPIC COUNT SECONDS PAYLOAD
"""
import socket
import struct
import sys
import time


def remaining_length(n):
    out = bytearray()
    while True:
        byte, n = n % 128, n // 128
        out.append(byte | (0x80 if n else 0))
        if not n:
            return bytes(out)


def packet(kind, body):
    return bytes([kind]) + remaining_length(len(body)) + body


def text(s):
    raw = s.encode()
    return struct.pack("!H", len(raw)) + raw


def main():
    port, topic, count, seconds, payload = sys.argv[1:6]
    count, seconds = int(count), float(seconds)
    conn = socket.create_connection(("127.0.0.1", int(port)))
    conn.sendall(packet(0x10, text("MQTT") + bytes([4, 2]) + struct.pack("!H", 60)
                        + text(f"flood-{time.monotonic_ns()}")))
    if conn.recv(4)[:2] != b"\x20\x02":
        sys.exit("the broker refused the connection")
    started = time.monotonic()
    for i in range(1, count + 1):
        mid = (i - 1) % 65535 + 1
        conn.sendall(packet(0x32, text(f"{topic}-{i}") + struct.pack("!H", mid)
                            + payload.encode()))
        ahead = started + seconds * i / count - time.monotonic()
        if ahead > 0:
            time.sleep(ahead)
    acked = bytearray()
    while len(acked) < 4 * count:
        chunk = conn.recv(65536)
        if not chunk:
            sys.exit("the broker closed the connection")
        acked += chunk
    conn.close()


main()
