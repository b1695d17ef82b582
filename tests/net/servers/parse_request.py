#!/usr/bin/python3
"""Parses an HTTP request recorded by canned_server.py with Python's own http and email parsers
and prints what the network tests compare, one item per line:

    parse_request.py REQUEST.bin

    request METHOD TARGET VERSION
    header NAME: VALUE              (each header in order)
    credentials USER:PASSWORD       (a Basic Authorization header, decoded)
    body HEX                        (the body after the header block)
    part NAME|FILENAME|TYPE|HEX     (each part of a multipart/form-data body; "-" for none)
    defect TEXT                     (what the multipart parser found wrong)
"""
import base64
import email
import email.policy
import http.client
import io
import sys


def main():
    raw = open(sys.argv[1], "rb").read()
    head, _, body = raw.partition(b"\r\n\r\n")
    request_line, _, header_bytes = head.partition(b"\r\n")
    method, target, version = request_line.decode("latin-1").split(" ")
    headers = http.client.parse_headers(io.BytesIO(header_bytes + b"\r\n\r\n"))
    print("request %s %s %s" % (method, target, version))
    for name, value in headers.items():
        print("header %s: %s" % (name, value))
    auth = headers.get("Authorization")
    if auth and auth.startswith("Basic "):
        print("credentials " + base64.b64decode(auth[6:], validate=True).decode("latin-1"))
    print("body " + body.hex())
    content_type = headers.get("Content-Type", "")
    if content_type.startswith("multipart/form-data"):
        message = email.message_from_bytes(
            b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body, policy=email.policy.HTTP)
        for defect in message.defects:
            print("defect %s" % defect)
        for part in message.iter_parts():
            fields = [part.get_param("name", header="content-disposition"), part.get_filename(),
                      part.get_content_type() if part.get("Content-Type") else None]
            print("part %s|%s" % ("|".join(f if f is not None else "-" for f in fields),
                                  part.get_payload(decode=True).hex()))


if __name__ == "__main__":
    main()
