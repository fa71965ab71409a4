#!/usr/bin/env python3
"""The demo's web server: one page, on the loopback address, in the demo's
own content type, saying how often it has been asked for and when.

Usage: demo-server.py LOG
Listens on 127.0.0.1 at a port the system picks, prints one line,
"serving URL as TYPE", and appends one line to LOG for each request it
answers: "<seconds since the epoch> <method> <path> <status>". Serves until
it is stopped. The page must not be cached: every refresh asks again.
"""
import datetime
import http.server
import sys
import time

CONTENT_TYPE = 'application/x-tandrel-demo-page'


class PageHandler(http.server.BaseHTTPRequestHandler):
    asked = 0
    log = None

    def do_GET(self):
        PageHandler.asked += 1
        times = 'once' if PageHandler.asked == 1 else f'{PageHandler.asked} times'
        now = datetime.datetime.now().strftime('%H:%M:%S')
        body = ('This page comes from the demo\'s web server, which has been asked for it '
                f'{times}, last at {now}.\n\n'
                'Click the band above to choose how often the browser reloads it.\n').encode()
        self.send_response(200)
        self.send_header('Content-Type', CONTENT_TYPE)
        self.send_header('Content-Length', str(len(body)))
        self.send_header('Cache-Control', 'no-store')
        self.end_headers()
        self.wfile.write(body)

    def log_request(self, code='-', size='-'):
        PageHandler.log.write(f'{time.time():.3f} {self.command} {self.path} {code}\n')
        PageHandler.log.flush()


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], 'a', encoding='utf-8') as log:
        PageHandler.log = log
        server = http.server.HTTPServer(('127.0.0.1', 0), PageHandler)
        print(f'serving http://127.0.0.1:{server.server_port}/ as {CONTENT_TYPE}', flush=True)
        server.serve_forever()


if __name__ == '__main__':
    main()
