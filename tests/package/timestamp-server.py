# A timestamp authority for the signing tests: answers RFC 3161 requests
# posted to it on the loopback address with openssl's ts -reply, signed by the
# TSA certificate of the tests' throwaway CA. Prints its port, then serves
# until it is ended.
# Usage: timestamp-server.py <folder with tsa.cnf, tsa.pem, tsa.key, ca.pem>
import http.server
import subprocess
import sys

folder = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers['Content-Length']))
        reply = subprocess.run(['openssl', 'ts', '-reply', '-config', 'tsa.cnf', '-queryfile', '/dev/stdin',
                                '-signer', 'tsa.pem', '-inkey', 'tsa.key', '-chain', 'ca.pem', '-out', '/dev/stdout'],
                               input=query, capture_output=True, cwd=folder, check=True).stdout
        self.send_response(200)
        self.send_header('Content-Type', 'application/timestamp-reply')
        self.send_header('Content-Length', str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
