#!/usr/bin/env python3
# Holds N pages of the class view open (server-sent event streams, 20 per loopback address,
# as the server allows 32 per address) and reads what comes until killed, for measuring
# the watcher beside a busy server:
#   idle-pages.py PORT CODE [N]
import selectors
import socket
import sys

port, code = int(sys.argv[1]), sys.argv[2]
count = int(sys.argv[3]) if len(sys.argv) > 3 else 200
sel = selectors.DefaultSelector()
for i in range(count):
    s = socket.socket()
    s.bind((f"127.0.1.{1 + i // 20}", 0))
    s.connect(("127.0.0.1", port))
    s.sendall(f"GET /events?k={code} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode())
    sel.register(s, selectors.EVENT_READ)
print(f"{count} pages connected", file=sys.stderr, flush=True)
while True:
    for key, _ in sel.select():
        if not key.fileobj.recv(65536):
            sel.unregister(key.fileobj)
