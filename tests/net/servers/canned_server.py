#!/usr/bin/python3
"""A scripted TCP server for the network tests: it replays canned bytes to each client.

    canned_server.py SCENARIO.json RECORD_DIR

The scenario is a JSON list with one entry per accepted connection, in order; each entry is a
list of steps:
    ["request"]          read an HTTP request (head up to the empty line, then Content-Length
                         bytes) and store it as RECORD_DIR/request-N.bin
    ["line"]             read one line (up to LF) and store it in RECORD_DIR/lines-N.txt
    ["send", TEXT]       send TEXT (Latin-1; "{port}" is the listening port, "{pasv}" the
                         passive data port as the two numbers "high,low" of a passive reply)
    ["repeat", TEXT, N]  send TEXT N times
    ["sleep", SECONDS]
    ["listen"]           open the passive data listener (its port goes into "{pasv}")
    ["data", TEXT]       accept one client on the data listener, send TEXT, close it
    ["datarecv"]         accept one client on the data listener, store what it sends until it
                         closes as RECORD_DIR/data-N.bin
    ["close"]            end the connection (also done after the last step): half-close it,
                         drain what the client still sends, close
    ["hold"]             wait until the client closes
The server prints "PORT n" once it listens on 127.0.0.1 and exits after the last connection or
when it is killed. Connections beyond the scenario are closed at once.
"""
import json
import os
import socket
import sys
import time


def read_until(conn, buffer, marker):
    while marker not in buffer:
        chunk = conn.recv(65536)
        if not chunk:
            return buffer, False
        buffer += chunk
    return buffer, True


def main():
    scenario = json.load(open(sys.argv[1]))
    record = sys.argv[2]
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", 0))
    server.listen(16)
    port = server.getsockname()[1]
    print("PORT %d" % port, flush=True)
    data_listener = None
    data_port = 0
    for index, steps in enumerate(scenario):
        conn, _ = server.accept()
        buffer = b""
        try:
            for step in steps:
                kind = step[0]
                if kind == "request":
                    buffer, ok = read_until(conn, buffer, b"\r\n\r\n")
                    head, _, rest = buffer.partition(b"\r\n\r\n")
                    length = 0
                    for line in head.split(b"\r\n")[1:]:
                        name, _, value = line.partition(b":")
                        if name.strip().lower() == b"content-length":
                            length = int(value.strip())
                    while len(rest) < length:
                        chunk = conn.recv(65536)
                        if not chunk:
                            break
                        rest += chunk
                    with open(os.path.join(record, "request-%d.bin" % index), "wb") as f:
                        f.write(head + b"\r\n\r\n" + rest[:length])
                    buffer = rest[length:]
                elif kind == "line":
                    buffer, ok = read_until(conn, buffer, b"\n")
                    line, _, buffer = buffer.partition(b"\n")
                    with open(os.path.join(record, "lines-%d.txt" % index), "ab") as f:
                        f.write(line + b"\n")
                elif kind in ("send", "repeat"):
                    text = step[1].replace("{port}", str(port))
                    text = text.replace("{pasv}", "%d,%d" % (data_port >> 8, data_port & 255))
                    count = step[2] if kind == "repeat" else 1
                    conn.sendall(text.encode("latin-1") * count)
                elif kind == "sleep":
                    time.sleep(step[1])
                elif kind == "listen":
                    data_listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                    data_listener.bind(("127.0.0.1", 0))
                    data_listener.listen(1)
                    data_port = data_listener.getsockname()[1]
                elif kind == "data":
                    data, _ = data_listener.accept()
                    data.sendall(step[1].encode("latin-1"))
                    data.close()
                elif kind == "datarecv":
                    data, _ = data_listener.accept()
                    received = b""
                    while True:
                        chunk = data.recv(65536)
                        if not chunk:
                            break
                        received += chunk
                    data.close()
                    with open(os.path.join(record, "data-%d.bin" % index), "wb") as f:
                        f.write(received)
                elif kind == "close":
                    break
                elif kind == "hold":
                    while conn.recv(65536):
                        pass
            # Half-close and drain what the client still sends, so that closing does not reset
            # the connection under an answer it has not read yet.
            conn.shutdown(socket.SHUT_WR)
            conn.settimeout(2)
            while conn.recv(65536):
                pass
        except OSError:
            pass
        conn.close()


if __name__ == "__main__":
    main()
