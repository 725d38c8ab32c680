#!/usr/bin/env python3
"""The terminal console against an agent on loopback that records what it
receives and answers wrongly: an echo of the request, NULL, text, wide,
empty or unsigned-past-the-signed-limit numbers where numbers belong, an
error status, an answer too long to read, or one that cannot be decoded.
None of them may pass for readings (every poll shows NO CONNECTION and no
lamp), none may pass a Send KEY as done, a Set is refused since no poll
read the switches, each refused answer is told once on stderr, the alarm
names the cause, and every stderr line carries the program's name. A
well-formed answer from the same agent is taken, which shows that the
agent's own encoding is sound.

usage: wrong_agent_test.py TARVIK
"""

import select
import socket
import subprocess
import sys
import threading

POLLS = 3
TIMEOUT = 90  # per run; Wine on a loaded machine can take long to start


# ---- BER, as much as an SNMPv1 agent needs

def tlv(tag, content):
    n = len(content)
    if n < 0x80:
        length = bytes([n])
    else:
        octets = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(octets)]) + octets
    return bytes([tag]) + length + content


def integer(value, tag=0x02):
    size = max(1, (value.bit_length() + 8) // 8)
    return tlv(tag, value.to_bytes(size, "big", signed=True))


def elements(data):
    """The (tag, content) pairs of a run of TLVs."""
    out, pos = [], 0
    while pos < len(data):
        tag, n = data[pos], data[pos + 1]
        pos += 2
        if n & 0x80:
            count = n & 0x7F
            n = int.from_bytes(data[pos:pos + count], "big")
            pos += count
        out.append((tag, data[pos:pos + n]))
        pos += n
    return out


def parse_request(datagram):
    """Community, PDU tag, request id octets, binding names and the values
    (whole elements) of a request."""
    (_, message), = elements(datagram)
    _, (_, community), (pdu, body) = elements(message)
    request_id, _, _, (_, bindings) = elements(body)
    pairs = [elements(b) for _, b in elements(bindings)]
    names = [name for (_, name), _ in pairs]
    values = [tlv(tag, content) for _, (tag, content) in pairs]
    return community, pdu, tlv(0x02, request_id[1]), names, values


def response(community, request_id, bindings, error_status=0, pdu=0xA2):
    body = (request_id + integer(error_status) + integer(1 if error_status else 0) +
            tlv(0x30, b"".join(tlv(0x30, tlv(0x06, name) + value) for name, value in bindings)))
    return tlv(0x30, integer(0) + tlv(0x04, community) + tlv(pdu, body))


# ---- what the agent answers, by mode

# A well-formed answer: text for the identification (group 1), each rail
# in range (group 4), 0 for the rest. A name ends in group, item, 0.
RAILS_IN_RANGE = {1: 24000, 2: 12000, 3: 9000, 4: 12000, 5: 5000, 6: 3300}


def good_value(name):
    group, item = name[-3], name[-2]
    if group == 1:
        return tlv(0x04, b"ok")
    return integer(RAILS_IN_RANGE.get(item, 0) if group == 4 else 0)


def answer(mode, datagram):
    community, pdu, request_id, names, values = parse_request(datagram)

    def each(value):
        # Text rows get text, so Start's identification read is not what fails.
        return response(community, request_id,
                        [(n, tlv(0x04, b"id") if n[-3] == 1 else value) for n in names])

    if mode == "echo":
        return datagram
    if mode == "garbage":
        return bytes.fromhex("DEADBEEF")
    if mode == "null":
        return each(tlv(0x05, b""))
    if mode == "octets":
        return each(tlv(0x04, b"oops"))
    if mode == "wide":
        return each(tlv(0x02, b"\x01\x00\x00\x00\x00"))
    if mode == "counter64":
        return each(tlv(0x46, b"\x01\x00\x00\x00\x00"))
    if mode == "empty":
        return each(tlv(0x02, b""))
    if mode == "gauge":
        return each(integer(4294967295, 0x42))
    if mode == "generr":
        return response(community, request_id, [(n, tlv(0x05, b"")) for n in names], 5)
    # A write is answered with the values written.
    good = list(zip(names, values)) if pdu == 0xA3 else [(n, good_value(n)) for n in names]
    if mode == "big":
        good.append((names[0], tlv(0x04, b"x" * 5000)))
    return response(community, request_id, good)


class Agent:
    def __init__(self, mode):
        self.mode = mode
        self.received = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.port = self.sock.getsockname()[1]
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.serve)
        self.thread.start()

    def serve(self):
        while not self.done.is_set():
            if not select.select([self.sock], [], [], 0.05)[0]:
                continue
            datagram, source = self.sock.recvfrom(65535)
            self.received.append(datagram)
            self.sock.sendto(answer(self.mode, datagram), source)

    def stop(self):
        self.done.set()
        self.thread.join()
        self.sock.close()


ROW12 = "row 12 (1.3.6.1.4.1.47.2.2.2.0)"
NOT_DONE = "failed: the answer does not match the request"
# Set without an answered poll: the switches without a box are not known.
UNREAD = ("refused: this device's switches have not been read yet; "
          "Start, and Set once a poll has answered")

# mode, the refusal told once (None: none), the alarm ({} the address), what
# Set and Send KEY say after their name (None: they are taken). The key's
# row is answered with another text in every mode that answers it wrongly.
CASES = [
    ("good", None, None, None, None),
    ("echo", "a GetRequest came back instead of a GetResponse", "unusable answer from {}",
     UNREAD, NOT_DONE),
    ("null", ROW12 + " came back as NULL, not a number", "unusable answer from {}", UNREAD,
     NOT_DONE),
    ("octets", ROW12 + " came back as OCTET STRING, not a number", "unusable answer from {}",
     UNREAD, NOT_DONE),
    ("wide", ROW12 + " came back as INTEGER past 32 bits or empty, not a number",
     "unusable answer from {}", UNREAD, NOT_DONE),
    ("empty", ROW12 + " came back as INTEGER past 32 bits or empty, not a number",
     "unusable answer from {}", UNREAD, NOT_DONE),
    ("gauge", ROW12 + " came back as Gauge32 4294967295, past a signed 32-bit number",
     "unusable answer from {}", UNREAD, NOT_DONE),
    ("counter64", ROW12 + " came back as Counter64, not a number", "unusable answer from {}",
     UNREAD, NOT_DONE),
    ("generr", None, "device error genErr from {}", UNREAD, "failed: genErr at binding 1"),
    ("big", None, "no answer from {}: the answer was too long", UNREAD,
     "failed: the answer was too long"),
    # The box says it ("Mangled packet"), so Send KEY adds nothing.
    ("garbage", None, "no answer from {}: the answer could not be decoded", UNREAD, None),
]


def poll_blocks(out):
    blocks = out.split("== Poll ")[1:]
    return [b.split("\n== ")[0] for b in blocks]


def run_case(tarvik, mode, refusal, cause, set_failure, key_failure):
    agent = Agent(mode)
    address = "127.0.0.1:%d" % agent.port
    try:
        run = subprocess.run(
            [tarvik, "--headless", "--address", address, "--interval", "50",
             "--polls", str(POLLS)],
            input=b"set\nkey abc\n", capture_output=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        print("FAIL %s: still running after %d s" % (mode, TIMEOUT))
        return False
    finally:
        agent.stop()
    out = run.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
    err = run.stderr.decode("utf-8", "replace").replace("\r\n", "\n").splitlines()
    problems = []
    if run.returncode not in (0, 1):
        problems.append("exit status %d" % run.returncode)
    blocks = poll_blocks(out)
    if len(blocks) != POLLS:
        problems.append("%d polls shown, %d expected" % (len(blocks), POLLS))
    for number, block in enumerate(blocks, 1):
        if "Lamps lit: none" not in block:
            problems.append("poll %d lit a lamp" % number)
        if ("NO CONNECTION" in block) != (cause is not None):
            problems.append("poll %d: NO CONNECTION %s" %
                            (number, "missing" if cause else "shown"))
    refusals = [line for line in err if line.startswith("tarvik: answer refused: ")]
    expected = ["tarvik: answer refused: " + refusal] if refusal else []
    if refusals != expected:
        problems.append("refusals %r, expected %r" % (refusals, expected))
    if cause and err.count("tarvik: alarm: " + cause.format(address)) != 1:
        problems.append("no single alarm %r" % cause.format(address))
    unnamed = [line for line in err if not line.startswith("tarvik: ")]
    if unnamed:
        problems.append("lines without the program's name: %r" % unnamed)
    for command, failure in (("Set", set_failure), ("Send KEY", key_failure)):
        failed = [line for line in err if line.startswith("tarvik: %s " % command)]
        wanted = ["tarvik: %s %s" % (command, failure)] if failure else []
        if failed != wanted:
            problems.append("%s: %r, expected %r" % (command, failed, wanted))
    # The agent saw each write that was not refused: a failure above is the
    # answer's, not a request that never left.
    sets = [parse_request(d)[1] for d in agent.received].count(0xA3)
    wanted_sets = 1 if set_failure == UNREAD else 2
    if sets != wanted_sets:
        problems.append("the agent received %d SetRequests, not %d" % (sets, wanted_sets))
    if problems:
        print("FAIL %s:\n  %s\n--- stderr:\n%s" % (mode, "\n  ".join(problems), "\n".join(err)))
    else:
        print("ok   %s" % mode)
    return not problems


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    results = [run_case(sys.argv[1], *case) for case in CASES]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
