"""PNG pictures of 8 or 16 bits, grey, RGB or RGBA, written and read with the standard library's zlib,
so that the tests compare with the tool through the files it reads best, without an image
library."""

import struct
import zlib

import numpy as np

_SIGNATURE = b"\x89PNG\r\n\x1a\n"
_COLOUR_TYPES = {1: 0, 3: 2, 4: 6}  # channels -> PNG colour type (grey, RGB, RGBA)
_CHANNELS = {colour: channels for channels, colour in _COLOUR_TYPES.items()}
_NO_FILTER = b"\x00"


def _chunk(kind, data):
    return (struct.pack(">I", len(data)) + kind + data +
            struct.pack(">I", zlib.crc32(kind + data)))


def write(path, pixels):
    """Writes an H x W (grey), H x W x 3 or H x W x 4 array of uint8 or uint16."""
    channels = 1 if pixels.ndim == 2 else pixels.shape[2]
    height, width = pixels.shape[:2]
    bits = pixels.dtype.itemsize * 8
    header = struct.pack(">IIBBBBB", width, height, bits, _COLOUR_TYPES[channels], 0, 0, 0)
    rows = np.ascontiguousarray(pixels.astype(pixels.dtype.newbyteorder(">")))
    raw = b"".join(_NO_FILTER + row.tobytes() for row in rows)
    with open(path, "wb") as file:
        file.write(_SIGNATURE + _chunk(b"IHDR", header) + _chunk(b"IDAT", zlib.compress(raw)) +
                   _chunk(b"IEND", b""))


def _paeth(left, up, up_left):
    estimate = left + up - up_left
    distances = (abs(estimate - left), abs(estimate - up), abs(estimate - up_left))
    return (left, up, up_left)[distances.index(min(distances))]


def _unfiltered(kind, row, previous, stride):
    """One row of bytes with its PNG filter undone."""
    out = bytearray(row)
    for i in range(len(out)):
        left = out[i - stride] if i >= stride else 0
        up = previous[i]
        up_left = previous[i - stride] if i >= stride else 0
        predictor = (0, left, up, (left + up) // 2, _paeth(left, up, up_left))[kind]
        out[i] = (out[i] + predictor) & 0xFF
    return out


def read(path):
    """The pixels of a non-interlaced 8-bit or 16-bit grey, RGB or RGBA PNG, as uint8 or uint16."""
    with open(path, "rb") as file:
        data = file.read()
    at = len(_SIGNATURE)
    compressed = b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, bits, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        at += length + 12
    if interlace or colour not in _CHANNELS:
        raise ValueError(f"{path}: an interlaced or unexpected PNG")
    channels = _CHANNELS[colour]
    stride = channels * bits // 8
    raw = zlib.decompress(compressed)
    row_bytes = width * stride
    rows = []
    previous = bytearray(row_bytes)
    for y in range(height):
        start = y * (row_bytes + 1)
        previous = _unfiltered(raw[start], raw[start + 1:start + 1 + row_bytes], previous, stride)
        rows.append(bytes(previous))
    dtype = np.dtype(">u2") if bits == 16 else np.dtype(np.uint8)
    pixels = np.frombuffer(b"".join(rows), dtype=dtype).astype(dtype.newbyteorder("="))
    return pixels.reshape((height, width) if channels == 1 else (height, width, channels))
