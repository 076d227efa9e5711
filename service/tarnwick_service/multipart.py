"""A streaming reader of multipart/form-data bodies.

The parts are read from the socket in blocks and each file part is written to
disk as it arrives, so memory stays flat whatever the size of the upload.
Malformed bodies (no boundary, a part without its closing delimiter, header
blocks over 16 KiB) raise BadRequest.
"""

import email.message
import re

from .web import BadRequest

_HEADER_LIMIT = 16 * 1024
_FIELD_LIMIT = 64 * 1024     # a non-file field is read away, at most this much kept


def boundary_of(content_type):
    """The boundary of a multipart/form-data content type, or None."""
    if not content_type.lower().startswith("multipart/form-data"):
        return None
    msg = email.message.Message()
    msg["Content-Type"] = content_type
    boundary = msg.get_param("boundary")
    if not isinstance(boundary, str) or not 1 <= len(boundary) <= 70 or not re.fullmatch(r"[ -~]+", boundary):
        return None
    return boundary.encode("ascii")


def _file_name(headers):
    msg = email.message.Message()
    disposition = headers.get(b"content-disposition", b"").decode("utf-8", "replace")
    msg["Content-Disposition"] = disposition
    name = msg.get_filename()
    return name if name else None


class _Reader:
    def __init__(self, stream):
        self.stream = stream
        self.buf = b""

    def fill(self):
        chunk = self.stream.read()
        if not chunk:
            return False
        self.buf += chunk
        return True

    def until(self, marker, limit):
        """The bytes before `marker` (which is consumed); BadRequest past `limit` or at the end."""
        while True:
            i = self.buf.find(marker)
            if i >= 0:
                out, self.buf = self.buf[:i], self.buf[i + len(marker):]
                return out
            if len(self.buf) > limit or not self.fill():
                raise BadRequest("multipart marker missing")

    def copy_until(self, marker, write):
        """Passes the bytes before `marker` to write() in blocks; the marker is consumed."""
        keep = len(marker) - 1
        while True:
            i = self.buf.find(marker)
            if i >= 0:
                write(self.buf[:i])
                self.buf = self.buf[i + len(marker):]
                return
            if len(self.buf) > keep:
                write(self.buf[:-keep] if keep else self.buf)
                self.buf = self.buf[-keep:] if keep else b""
            if not self.fill():
                raise BadRequest("multipart part not closed")

    def take(self, n):
        while len(self.buf) < n:
            if not self.fill():
                raise BadRequest("multipart body ended early")
        out, self.buf = self.buf[:n], self.buf[n:]
        return out


def read_files(stream, content_type, open_file):
    """Reads a multipart body from `stream`; for each file part calls open_file(name),
    which returns a binary file (or None to skip the part), and writes the part's
    bytes into it. Returns the list of (name, file) of the parts written."""
    boundary = boundary_of(content_type)
    if boundary is None:
        raise BadRequest("not multipart/form-data")
    reader = _Reader(stream)
    delimiter = b"\r\n--" + boundary
    # The body starts with the first delimiter line (a preamble before it is allowed).
    reader.buf = b"\r\n"
    reader.until(delimiter, _HEADER_LIMIT)
    written = []
    while True:
        end = reader.take(2)
        if end == b"--":
            return written
        if end != b"\r\n":
            raise BadRequest("bad delimiter line")
        headers = {}
        for line in reader.until(b"\r\n\r\n", _HEADER_LIMIT).split(b"\r\n"):
            key, sep, value = line.partition(b":")
            if sep:
                headers[key.strip().lower()] = value.strip()
        name = _file_name(headers)
        target = open_file(name) if name else None
        if target is None:
            kept = [0]

            def discard(data):
                kept[0] += len(data)
                if kept[0] > _FIELD_LIMIT and name is None:
                    raise BadRequest("form field too large")
            reader.copy_until(delimiter, discard)
        else:
            reader.copy_until(delimiter, target.write)
            written.append((name, target))
