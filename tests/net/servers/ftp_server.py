#!/usr/bin/python3
"""An FTP server for the network tests (pyftpdlib), on 127.0.0.1 with passive ports.

    ftp_server.py ROOT

Users: "user" / "secret" with full rights on ROOT, "reader" / "secret" with read rights only, and
anonymous read access. Prints "PORT n" once it listens.
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    root = sys.argv[1]
    authorizer = DummyAuthorizer()
    authorizer.add_user("user", "secret", root, perm="elradfmwMT")
    authorizer.add_user("reader", "secret", root, perm="elr")
    authorizer.add_anonymous(root)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "test server ready"
    # Refused log-ins answer at once instead of after the usual pause.
    handler.auth_failed_timeout = 0.001
    logging.basicConfig(level=logging.CRITICAL)
    server = FTPServer(("127.0.0.1", 0), handler)
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
