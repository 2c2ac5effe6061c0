# SPDX-License-Identifier: MIT
"""What the side-by-side benchmark does on the observer's side of the link, run with
/usr/bin/python3 inside the observer's namespace:

  wire.py capture DEVICE SECONDS     prints, as JSON, every multicast DNS packet seen on DEVICE
                                     (a raw packet socket: it takes nothing from the observer)
  wire.py load ADDRESS RATE SECONDS  sends PTR queries for _peer._tcp.local and
                                     _services._dns-sd._udp.local, in turn, from ADDRESS to
                                     224.0.0.251:5353 at RATE a second; at most RATE * SECONDS
                                     queries, and never past SECONDS
  wire.py browse TYPE SECONDS        browses TYPE with python-zeroconf for SECONDS and prints the
                                     instances it resolved, with their ports
"""
import json
import select
import socket
import struct
import sys
import time

GROUP, PORT = "224.0.0.251", 5353
TYPES = {1: "A", 12: "PTR", 16: "TXT", 28: "AAAA", 33: "SRV", 47: "NSEC", 255: "ANY"}


def read_name(data, offset):
    labels, jumped, end = [], False, offset
    for _ in range(128):  # bounds a pointer loop in a malformed packet
        length = data[offset]
        if length == 0:
            offset += 1
            break
        if length & 0xC0 == 0xC0:
            if not jumped:
                end = offset + 2
            offset = ((length & 0x3F) << 8) | data[offset + 1]
            jumped = True
            continue
        labels.append(data[offset + 1:offset + 1 + length].decode("utf-8", "replace"))
        offset += 1 + length
    return ".".join(labels), (end if jumped else offset)


def parse(data):
    _, flags, qd, an, ns, ar = struct.unpack("!6H", data[:12])
    offset, questions, records = 12, [], []
    for _ in range(qd):
        name, offset = read_name(data, offset)
        qtype, qclass = struct.unpack("!HH", data[offset:offset + 4])
        offset += 4
        questions.append({"name": name, "type": TYPES.get(qtype, qtype), "qu": bool(qclass & 0x8000)})
    for section, count in (("answer", an), ("authority", ns), ("additional", ar)):
        for _ in range(count):
            name, offset = read_name(data, offset)
            rtype, _, ttl, length = struct.unpack("!HHIH", data[offset:offset + 10])
            offset += 10 + length
            records.append({"section": section, "name": name, "type": TYPES.get(rtype, rtype), "ttl": ttl})
    return {"response": bool(flags & 0x8000), "questions": questions, "records": records,
            "authority": ns}


def capture(device, seconds):
    sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.ntohs(0x0800))
    sock.bind((device, 0))
    print(json.dumps({"listening": True}), flush=True)
    started = time.monotonic()
    packets = []
    while (left := started + seconds - time.monotonic()) > 0:
        if not select.select([sock], [], [], left)[0]:
            continue
        frame = sock.recv(65535)
        ip = frame[14:]
        header = (ip[0] & 0x0F) * 4
        if ip[9] != 17:
            continue
        sport, dport = struct.unpack("!HH", ip[header:header + 4])
        if PORT not in (sport, dport):
            continue
        try:
            packet = parse(ip[header + 8:])
        except (IndexError, struct.error):
            continue
        packet.update(at=time.monotonic(), source=socket.inet_ntoa(ip[12:16]))
        packets.append(packet)
    print(json.dumps({"packets": packets}), flush=True)


def query(name, ident):
    labels = b"".join(bytes([len(p)]) + p.encode() for p in name.split(".")) + b"\0"
    return struct.pack("!6H", ident, 0, 1, 0, 0, 0) + labels + struct.pack("!HH", 12, 1)


def load(address, rate, seconds):
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 255)
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(address))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0)
    sock.bind((address, PORT))  # a querier's own port, so answers go to the group as usual
    packets = [query("_peer._tcp.local", 0), query("_services._dns-sd._udp.local", 0)]
    total = int(rate * seconds)
    started = time.monotonic()
    sent = 0
    while sent < total:
        due = started + sent / rate
        now = time.monotonic()
        if now - started >= seconds:
            break
        if due > now:
            time.sleep(due - now)
        sock.sendto(packets[sent % 2], (GROUP, PORT))
        sent += 1
    print(json.dumps({"sent": sent, "seconds": time.monotonic() - started}), flush=True)


def browse(regtype, seconds):
    from zeroconf import IPVersion, ServiceBrowser, Zeroconf

    full = f"{regtype}.local."
    zc = Zeroconf(ip_version=IPVersion.V4Only)
    names = set()
    try:
        ServiceBrowser(zc, full, handlers=[lambda zeroconf, service_type, name, state_change: names.add(name)])
        time.sleep(seconds)
        found = []
        for name in sorted(names):
            info = zc.get_service_info(full, name, timeout=1500)
            found.append({"name": name[:-len(full) - 1], "port": info.port if info else None,
                          "addresses": [socket.inet_ntoa(a) for a in info.addresses] if info else []})
    finally:
        zc.close()
    print(json.dumps({"instances": found}), flush=True)


def main():
    command = sys.argv[1]
    if command == "capture":
        capture(sys.argv[2], float(sys.argv[3]))
    elif command == "load":
        load(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]))
    elif command == "browse":
        browse(sys.argv[2], float(sys.argv[3]))
    else:
        sys.exit(__doc__)
    return 0


if __name__ == "__main__":
    sys.exit(main())
