"""Serves ROOT/<host>/<path> on 127.0.0.1, choosing the folder by the request's Host header.

usage: serve_by_host.py ROOT PORT_FILE
Listens on a free port, writes the port number to PORT_FILE and serves until terminated.
A path ending in "/" serves the folder's index.html.
"""
import functools
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    def translate_path(self, path):
        host = (self.headers.get("Host") or "").split(":")[0].lower()
        if not host or "/" in host or host.startswith("."):
            return os.path.join(self.directory, "-no-such-host-")
        self.directory = os.path.join(self.root, host)
        return super().translate_path(path)

    def log_message(self, *args):
        pass


def main():
    root, port_file = os.path.abspath(sys.argv[1]), sys.argv[2]
    handler = functools.partial(Handler, directory=root)
    Handler.root = root
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
