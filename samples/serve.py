# Serves samples/www on 127.0.0.1 by the Host header: www/<host>/<path>, a folder by its index.html.
import functools, http.server, os, sys, urllib.parse

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "www")

class Handler(http.server.SimpleHTTPRequestHandler):
    def translate_path(self, path):
        host = (self.headers.get("Host") or "").split(":")[0].lower()
        rel = urllib.parse.unquote(urllib.parse.urlsplit(path).path).lstrip("/")
        full = os.path.realpath(os.path.join(ROOT, host, rel))
        return full if full.startswith(os.path.realpath(ROOT) + os.sep) else os.path.join(ROOT, "missing")

    def log_message(self, *args):
        pass

server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
