"""File writers for the resource generators: PNG, BMP, GIF, TIFF, PPM, ICO and CUR.

Each takes a raster.Canvas (or raw rows) and returns the file's bytes. Only the
standard library is used; zlib does PNG's and TIFF's compression, the rest is written here.
"""

import struct
import zlib


def png(canvas, alpha=True):
    """A PNG, 8 bits per channel, RGBA when `alpha`, else RGB."""
    raw = bytearray()
    for y in range(canvas.height):
        raw.append(0)  # filter type None
        row = canvas.pixels[y * canvas.width:(y + 1) * canvas.width]
        for p in row:
            raw.extend(p if alpha else p[:3])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    colour_type = 6 if alpha else 2
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def bmp(canvas):
    """A 24-bit BMP, bottom-up, rows padded to four bytes; alpha is dropped."""
    stride = (canvas.width * 3 + 3) & ~3
    pad = bytes(stride - canvas.width * 3)
    body = bytearray()
    for y in range(canvas.height - 1, -1, -1):
        for x in range(canvas.width):
            r, g, b, _ = canvas.get(x, y)
            body.extend((b, g, r))
        body.extend(pad)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(body),
                       2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def _lzw(indices, min_code_size):
    """GIF's variable-length LZW, codes packed least significant bit first."""
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bit_buffer = 0
    bit_count = 0

    def emit(code, size):
        nonlocal bit_buffer, bit_count
        bit_buffer |= code << bit_count
        bit_count += size
        while bit_count >= 8:
            out.append(bit_buffer & 0xFF)
            bit_buffer >>= 8
            bit_count -= 8

    def fresh_table():
        return {}  # (prefix code, index) -> code; single indices are their own codes

    table = fresh_table()
    next_code = end + 1
    code_size = min_code_size + 1

    def output(code):
        # The decoder widens its codes one entry late, so widen after writing, as giflib does.
        nonlocal code_size
        emit(code, code_size)
        if next_code >= (1 << code_size) and code_size < 12:
            code_size += 1

    emit(clear, code_size)
    current = None
    for index in indices:
        if current is None:
            current = index
            continue
        candidate = (current, index)
        if candidate in table:
            current = table[candidate]
            continue
        output(current)
        if next_code < 4095:
            table[candidate] = next_code
            next_code += 1
        else:
            emit(clear, code_size)
            table = fresh_table()
            next_code = end + 1
            code_size = min_code_size + 1
        current = index
    if current is not None:
        output(current)
    emit(end, code_size)
    if bit_count:
        out.append(bit_buffer & 0xFF)
    return bytes(out)


def gif(canvas, palette, transparent_index=None):
    """A GIF89a over `palette` (a list of at most 256 RGB tuples); each pixel must be in it."""
    lookup = {c: i for i, c in enumerate(palette)}
    indices = [lookup[p[:3]] for p in canvas.pixels]
    bits = max(1, (len(palette) - 1).bit_length())
    table = bytearray()
    for i in range(1 << bits):
        table.extend(palette[i] if i < len(palette) else (0, 0, 0))
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", canvas.width, canvas.height, 0x80 | (7 << 4) | (bits - 1), 0, 0)
    out += table
    if transparent_index is not None:
        out += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, 1, 0, transparent_index, 0)
    out += struct.pack("<BHHHHB", 0x2C, 0, 0, canvas.width, canvas.height, 0)
    min_code_size = max(2, bits)
    data = _lzw(indices, min_code_size)
    out.append(min_code_size)
    for i in range(0, len(data), 255):
        block = data[i:i + 255]
        out.append(len(block))
        out += block
    out += b"\x00;"
    return bytes(out)


def tiff(canvas, rows_per_strip=16):
    """A little-endian baseline TIFF, RGB, strips compressed with Deflate (zlib)."""
    strips = []
    for top in range(0, canvas.height, rows_per_strip):
        data = bytearray()
        for p in canvas.pixels[top * canvas.width:min(canvas.height, top + rows_per_strip) * canvas.width]:
            data.extend(p[:3])
        strips.append(zlib.compress(bytes(data), 9))
    count = len(strips)
    entries_count = 12
    ifd_offset = 8
    ifd_size = 2 + entries_count * 12 + 4
    bits_offset = ifd_offset + ifd_size
    res_offset = bits_offset + 6
    offsets_offset = res_offset + 16
    counts_offset = offsets_offset + 4 * count
    data_offset = counts_offset + 4 * count
    strip_offsets = []
    position = data_offset
    for s in strips:
        strip_offsets.append(position)
        position += len(s)

    def entry(tag, kind, n, value):
        return struct.pack("<HHII", tag, kind, n, value)

    short, long_, rational = 3, 4, 5
    ifd = struct.pack("<H", entries_count)
    ifd += entry(256, long_, 1, canvas.width)
    ifd += entry(257, long_, 1, canvas.height)
    ifd += entry(258, short, 3, bits_offset)
    ifd += entry(259, short, 1, 8)  # Adobe Deflate
    ifd += entry(262, short, 1, 2)  # RGB
    ifd += entry(273, long_, count, offsets_offset)
    ifd += entry(277, short, 1, 3)
    ifd += entry(278, long_, 1, rows_per_strip)
    ifd += entry(279, long_, count, counts_offset)
    ifd += entry(282, rational, 1, res_offset)
    ifd += entry(283, rational, 1, res_offset + 8)
    ifd += entry(296, short, 1, 2)  # inches
    ifd += struct.pack("<I", 0)
    out = bytearray(b"II*\x00" + struct.pack("<I", ifd_offset) + ifd)
    out += struct.pack("<HHH", 8, 8, 8)
    out += struct.pack("<IIII", 72, 1, 72, 1)
    out += b"".join(struct.pack("<I", o) for o in strip_offsets)
    out += b"".join(struct.pack("<I", len(s)) for s in strips)
    out += b"".join(strips)
    return bytes(out)


def icon(canvas, hotspot=None):
    """An ICO with one 32-bit entry, or a CUR when `hotspot` (x, y) is given."""
    w, h = canvas.width, canvas.height
    xor = bytearray()
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        mask_row = bytearray(mask_stride)
        for x in range(w):
            r, g, b, a = canvas.get(x, y)
            xor.extend((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask.extend(mask_row)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + bytes(xor) + bytes(mask)
    kind = 1 if hotspot is None else 2
    planes, bits = (1, 32) if hotspot is None else hotspot
    header = struct.pack("<HHH", 0, kind, 1)
    directory = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, planes, bits, len(image), 6 + 16)
    return header + directory + image


def ppm(canvas_or_rows, width=None, height=None):
    """A binary PPM from a Canvas, or from bytes of RGB rows with `width` and `height`."""
    if width is None:
        width, height = canvas_or_rows.width, canvas_or_rows.height
        data = bytearray()
        for p in canvas_or_rows.pixels:
            data.extend(p[:3])
    else:
        data = canvas_or_rows
    return b"P6\n%d %d\n255\n" % (width, height) + bytes(data)
