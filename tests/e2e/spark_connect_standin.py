"""A stand-in Spark Connect server: grpcio serving AnalyzePlan with raw bytes, as a real server
answers the spark_version analysis. Run with a Python that has grpc (Debian's python3-grpcio).

usage: spark_connect_standin.py ADDRESS:PORT version VERSION [TOKEN]
       spark_connect_standin.py ADDRESS:PORT error CODE_NAME MESSAGE
Prints "ready" once it listens, then serves until killed.
"""

import sys
import time
from concurrent import futures

import grpc

METHOD = "/spark.connect.SparkConnectService/AnalyzePlan"


def varint(data, i):
    value, shift = 0, 0
    while True:
        byte = data[i]
        i += 1
        value |= (byte & 0x7F) << shift
        if not byte & 0x80:
            return value, i
        shift += 7


def fields(data):
    """(field number, wire type, value) of a protobuf message."""
    i, out = 0, []
    while i < len(data):
        key, i = varint(data, i)
        number, wire = key >> 3, key & 7
        if wire == 0:
            value, i = varint(data, i)
        elif wire == 2:
            length, i = varint(data, i)
            value, i = data[i:i + length], i + length
        elif wire == 1:
            value, i = data[i:i + 8], i + 8
        elif wire == 5:
            value, i = data[i:i + 4], i + 4
        else:
            raise ValueError("bad wire type")
        out.append((number, wire, value))
    return out


def put(number, payload):
    out = bytearray()
    key = number << 3 | 2
    for value in (key, len(payload)):
        while value >= 0x80:
            out.append(value & 0x7F | 0x80)
            value >>= 7
        out.append(value)
    return bytes(out) + payload


class Handler(grpc.GenericRpcHandler):
    def __init__(self, mode, args):
        self.mode, self.args = mode, args

    def service(self, details):
        if details.method != METHOD:
            return None
        return grpc.unary_unary_rpc_method_handler(self.analyze)

    def analyze(self, request, context):
        if self.mode == "error":
            context.abort(getattr(grpc.StatusCode, self.args[0]), self.args[1])
        metadata = dict(context.invocation_metadata())
        if len(self.args) > 1 and metadata.get("authorization") != "Bearer " + self.args[1]:
            context.abort(grpc.StatusCode.UNAUTHENTICATED, "invalid or missing token")
        try:
            parsed = fields(request)
        except (ValueError, IndexError):
            context.abort(grpc.StatusCode.INVALID_ARGUMENT, "request does not parse")
        by_number = {number: value for number, _, value in parsed}
        session = by_number.get(1, b"")
        if len(session) != 36 or 2 not in by_number:
            context.abort(grpc.StatusCode.INVALID_ARGUMENT, "session_id must be a UUID")
        if 10 not in by_number:
            context.abort(grpc.StatusCode.INVALID_ARGUMENT, "unknown analysis")
        version = self.args[0].encode()
        return put(1, session) + put(15, b"server-side-session") + put(8, put(1, version))


def main():
    address, mode, *args = sys.argv[1:]
    server = grpc.server(futures.ThreadPoolExecutor(max_workers=4),
                         handlers=[Handler(mode, args)])
    if server.add_insecure_port(address) == 0:
        print("cannot bind", flush=True)
        sys.exit(1)
    server.start()
    print("ready", flush=True)
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()
