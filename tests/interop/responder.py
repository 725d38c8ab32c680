#!/usr/bin/python3
"""SNMP peer for the console's interoperability tests, built on pysnmp's
message API (pysnmp.proto.api with pyasn1's BER codec), so every octet the
console's codec is checked against comes from an implementation of its own.

    responder.py serve [ADDRESS]
        Answers GetRequest and SetRequest with community "quolen" on an
        ephemeral UDP port of ADDRESS (127.0.0.1, or ::1 for IPv6), whose
        number is the first line on standard output. Ends when standard
        input closes or on SIGTERM.
    responder.py encode VERSION REQUEST_ID ERROR_STATUS ERROR_INDEX OID TYPE VALUE
        Prints, as hex, a GetResponse with one binding. TYPE is a class name
        of pysnmp's v2c module (Integer, OctetString, Null, Counter32, Gauge32,
        TimeTicks, Counter64, IpAddress, NoSuchObject, NoSuchInstance,
        EndOfMibView); VALUE is decimal, hex for octet strings, "-" for none.
    responder.py decode HEX
        Decodes one message and prints its fields, one per line:
            version N / community HEX / pdu TAG / request_id N /
            error_status N / error_index N / then "OID TAG VALUE" per binding
        with tags as two hex digits and values as in `encode`.

Exit status 3 means pysnmp cannot be imported; 2 a malformed argument or
message; 4 that ADDRESS cannot be bound (no IPv6 loopback, say).
"""

import os
import select
import socket
import sys
import traceback

try:
    from pyasn1.codec.ber import decoder, encoder
    from pyasn1.type import univ
    from pysnmp.proto import api
except ImportError as error:
    sys.stderr.write("pysnmp is not importable (%s); install python3-pysnmp4\n" % error)
    sys.exit(3)

V1 = api.protoModules[api.protoVersion1]
V2C = api.protoModules[api.protoVersion2c]
COMMUNITY = b"quolen"

# v1 calls the 32-bit counter and gauge by their RFC 1155 names.
V1_NAMES = {"Counter32": "Counter", "Gauge32": "Gauge"}
# Values only SNMPv2 can carry.
V2_ONLY = {"Counter64", "NoSuchObject", "NoSuchInstance", "EndOfMibView"}
NO_VALUE = {"Null", "NoSuchObject", "NoSuchInstance", "EndOfMibView"}
OCTETS = {"OctetString", "IpAddress", "Opaque"}

NO_SUCH_NAME, BAD_VALUE, READ_ONLY, GEN_ERR = 2, 3, 4, 5

# The agent's objects: OID -> (type name, value, writable). An entry whose
# type is "error" answers every request naming it with that error status.
OBJECTS = {
    "1.3.6.1.2.1.1.5.0": ("OctetString", b"tarvik-test", False),  # sysName
    "1.3.6.1.4.1.47.2.1.1.0": ("Integer", -42, False),
    "1.3.6.1.4.1.47.2.1.2.0": ("OctetString", b"LINK \x00\xff", False),
    "1.3.6.1.4.1.47.2.1.3.0": ("Counter32", 4294967295, False),
    "1.3.6.1.4.1.47.2.1.4.0": ("Gauge32", 2147483648, False),
    "1.3.6.1.4.1.47.2.1.5.0": ("TimeTicks", 8640000, False),
    "1.3.6.1.4.1.47.2.1.6.0": ("Counter64", 0x89ABCDEF01234567, False),
    "1.3.6.1.4.1.47.2.1.7.0": ("Counter64", 5, False),
    "1.3.6.1.4.1.47.2.2.1.0": ("NoSuchObject", None, False),
    "1.3.6.1.4.1.47.2.2.2.0": ("NoSuchInstance", None, False),
    "1.3.6.1.4.1.47.2.2.3.0": ("EndOfMibView", None, False),
    "1.3.6.1.4.1.47.2.2.4.0": ("error", GEN_ERR, False),
    "1.3.6.1.4.1.47.2.3.1.0": ("Integer", 1, True),
    "1.3.6.1.4.1.47.2.3.2.0": ("OctetString", b"initial", True),
}


def make_value(module, type_name, value):
    if module is V1:
        type_name = V1_NAMES.get(type_name, type_name)
    cls = getattr(module, type_name)
    if type_name in NO_VALUE:
        return cls("")
    return cls(value)


def tag_of(value):
    tag = value.tagSet[-1]
    return tag.tagClass | tag.tagFormat | tag.tagId


def value_text(value):
    if tag_of(value) in (0x05, 0x80, 0x81, 0x82):
        return "-"
    if isinstance(value, univ.OctetString):  # IpAddress and Opaque too
        return value.asOctets().hex()
    return str(int(value))


def parse_value(type_name, text):
    if type_name in NO_VALUE:
        return None
    if type_name in OCTETS:
        return bytes.fromhex(text)
    return int(text)


def decode_message(data):
    """(module, message) for a v1 or v2c datagram; raises on anything else."""
    version = api.decodeMessageVersion(data)
    if version not in api.protoModules:
        raise ValueError("unsupported version %d" % version)
    module = api.protoModules[version]
    message, rest = decoder.decode(data, asn1Spec=module.Message())
    if rest:
        raise ValueError("%d octets after the message" % len(rest))
    return module, message


def encode_response(module, request_id, status, index, bindings):
    """GetResponse in `module`'s version; bindings are (oid, pyasn1 value)."""
    pdu = module.GetResponsePDU()
    module.apiPDU.setDefaults(pdu)
    module.apiPDU.setRequestID(pdu, request_id)
    module.apiPDU.setErrorStatus(pdu, status)
    module.apiPDU.setErrorIndex(pdu, index)
    module.apiPDU.setVarBinds(pdu, bindings)
    message = module.Message()
    module.apiMessage.setDefaults(message)
    module.apiMessage.setCommunity(message, COMMUNITY)
    module.apiMessage.setPDU(message, pdu)
    return encoder.encode(message)


def answer(data):
    """The answer datagram for one request, or None to stay silent."""
    try:
        module, request = decode_message(data)
    except Exception:  # garbage: a real agent drops it too
        return None
    if bytes(module.apiMessage.getCommunity(request)) != COMMUNITY:
        return None
    pdu = module.apiMessage.getPDU(request)
    kind = tag_of(pdu)
    if kind not in (0xA0, 0xA3):
        return None
    request_id = int(module.apiPDU.getRequestID(pdu))
    asked = [(str(oid), value) for oid, value in module.apiPDU.getVarBinds(pdu)]

    # SNMPv1 rules: the first failing binding gives status and 1-based index,
    # and the answer then repeats the request's bindings; a SET changes
    # nothing unless every binding can be applied.
    status, index = 0, 0
    for position, (oid, value) in enumerate(asked, 1):
        entry = OBJECTS.get(oid)
        if entry is None:
            status = NO_SUCH_NAME
        elif entry[0] == "error":
            status = entry[1]
        elif kind == 0xA3 and not entry[2]:
            status = READ_ONLY
        elif kind == 0xA3 and tag_of(value) != tag_of(make_value(V2C, entry[0], entry[1])):
            status = BAD_VALUE
        if status:
            index = position
            break
    if status:
        return encode_response(module, request_id, status, index, asked)

    if kind == 0xA3:
        for oid, value in asked:
            type_name, _, writable = OBJECTS[oid]
            plain = bytes(value) if type_name in OCTETS else int(value)
            OBJECTS[oid] = (type_name, plain, writable)
    found = [(oid, OBJECTS[oid][:2]) for oid, _ in asked]
    # Counter64 and the exception values do not exist in SNMPv1, and pysnmp's
    # v1 message cannot hold them. An answer carrying one is therefore sent
    # as a v2c message (version 1); the console's decoder takes v2c answers.
    # Every other answer goes back in the request's own version.
    if any(type_name in V2_ONLY for _, (type_name, _) in found):
        module = V2C
    values = [(oid, make_value(module, t, v)) for oid, (t, v) in found]
    return encode_response(module, request_id, 0, 0, values)


def serve(address="127.0.0.1"):
    family = socket.AF_INET6 if ":" in address else socket.AF_INET
    try:
        sock = socket.socket(family, socket.SOCK_DGRAM)
        sock.bind((address, 0))
    except OSError as error:
        sys.stderr.write("cannot listen on %s: %s\n" % (address, error))
        return 4
    sys.stdout.write("%d\n" % sock.getsockname()[1])
    sys.stdout.flush()
    stdin = sys.stdin.fileno()
    while True:
        ready, _, _ = select.select([sock, stdin], [], [])
        if stdin in ready and not os.read(stdin, 4096):
            return 0  # the test went away
        if sock in ready:
            data, peer = sock.recvfrom(65535)
            try:
                reply = answer(data)
            except Exception:  # keep serving; the test sees a missing answer
                traceback.print_exc()
                reply = None
            if reply is not None:
                sock.sendto(reply, peer)


def encode(args):
    version, request_id, status, index, oid, type_name, text = args
    module = api.protoModules[int(version)]
    value = make_value(module, type_name, parse_value(type_name, text))
    data = encode_response(module, int(request_id), int(status), int(index), [(oid, value)])
    print(data.hex())
    return 0


def decode(args):
    module, message = decode_message(bytes.fromhex(args[0]))
    pdu = module.apiMessage.getPDU(message)
    lines = [
        "version %d" % int(module.apiMessage.getVersion(message)),
        "community %s" % bytes(module.apiMessage.getCommunity(message)).hex(),
        "pdu %02x" % tag_of(pdu),
        "request_id %d" % int(module.apiPDU.getRequestID(pdu)),
        "error_status %d" % int(module.apiPDU.getErrorStatus(pdu)),
        "error_index %d" % int(module.apiPDU.getErrorIndex(pdu)),
    ]
    for oid, value in module.apiPDU.getVarBinds(pdu):
        lines.append("%s %02x %s" % (oid, tag_of(value), value_text(value)))
    print("\n".join(lines))
    return 0


def main(argv):
    modes = {"serve": (serve, 0), "encode": (encode, 7), "decode": (decode, 1)}
    serve_at = len(argv) == 3 and argv[1] == "serve"
    if len(argv) < 2 or argv[1] not in modes or (
            len(argv) - 2 != modes[argv[1]][1] and not serve_at):
        sys.stderr.write(__doc__)
        return 2
    run, _ = modes[argv[1]]
    try:
        return run(*argv[2:]) if argv[1] == "serve" else run(argv[2:])
    except (ValueError, KeyError, AttributeError) as error:
        sys.stderr.write("%s: %s\n" % (argv[1], error))
        return 2
    except Exception as error:  # pyasn1's own errors
        sys.stderr.write("%s: %s: %s\n" % (argv[1], type(error).__name__, error))
        return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
