"""What the local web servers of the proxy's tests have in common."""


class BodySender:
    """A mixin for an http.server request handler: send_body answers with a
    whole body and its length."""

    def send_body(self, body, content_type="text/html", status=200, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
