#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the fuzzers' seed corpora (tests/fuzz/corpus/<target>/) from a
built default profile, cut down so the seeds stay small: the colour tables
on a 5-node grid and the threshold matrices cropped to 16 x 16.

usage: make_seeds.py <profile folder> <corpus folder>
"""
import json
import os
import struct
import sys
import zlib


def chunk(data):
    return struct.pack('<I', len(data))[:3] + data


def small_colour_table(data, keep=(0, 8, 16, 24, 32)):
    """The table on the grid nodes `keep` only (plain 3-input tables)."""
    n, channels = data[72], data[75]
    nodes = [data[76 + a * n:76 + (a + 1) * n] for a in range(3)]
    table_at = 76 + 3 * n
    table = data[table_at:table_at + n ** 3 * channels]
    black = data[table_at + n ** 3 * channels:table_at + n ** 3 * channels + n]
    aux_offset, aux_length = struct.unpack('<II', data[16:24])
    aux = data[aux_offset:aux_offset + aux_length]
    m = len(keep)
    out = bytearray(data[:72]) + bytes([m, m, m, channels])
    for a in range(3):
        out += bytes(nodes[a][i] for i in keep)
    for i in keep:
        for j in keep:
            for k in keep:
                at = ((i * n + j) * n + k) * channels
                out += table[at:at + channels]
    out += bytes(black[i] for i in keep)
    if aux_length:
        out[16:24] = struct.pack('<II', len(out), aux_length)
        out += aux
    return bytes(out)


def small_matrix(data, side=16):
    width = {255: 256, 239: 512}.get(data[0], data[0])
    height = {255: 256, 239: 512}.get(data[1], data[1])
    size = width * height
    out = bytearray([side, side, 0, 0])
    for r in range(side):
        for c in range(side):
            (t,) = struct.unpack_from('<H', data, 4 + 2 * (r * width + c))
            out += struct.pack('<H', t * side * side // size)
    return bytes(out)


def engine_seed(page, settings, colour, halftone, runs, pixels):
    method, variant, fmt, colour_mode, resolution, dot_mode, magnification, max_pixels = page
    out = bytes([method, variant, fmt, colour_mode, resolution, dot_mode, magnification + 1])
    out += struct.pack('<H', max_pixels)
    gray_index, adjust, neutral, flags, inks = settings
    out += bytes([gray_index, adjust, neutral]) + bytes(6) + bytes([0, 0, flags])
    out += struct.pack('<H', 150) + bytes([1, inks]) + bytes([50] * inks)
    for resource in colour:
        out += chunk(resource) + b'\0'
    for resource in halftone:
        out += chunk(resource) + b'\0'
    out += bytes([len(runs)]) + chunk(pixels)
    for count, start, row in runs:
        out += struct.pack('<HHBH', count, start, 0, row)
    return out


def png(width, height, colour_type, channels, rows):
    def block(kind, body):
        return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))
    raw = b''.join(b'\0' + bytes(row) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' +
            block(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, colour_type, 0, 0, 0)) +
            block(b'pHYs', struct.pack('>IIB', 2835, 2835, 1)) +
            block(b'IDAT', zlib.compress(raw)) + block(b'IEND', b''))


def tiff(width, height, samples, pixels):
    """A little-endian, uncompressed, one-strip TIFF."""
    entries = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 1, 8),
               (259, 3, 1, 1), (262, 3, 1, 2 if samples >= 3 else 1),
               (273, 4, 1, 0), (277, 3, 1, samples), (278, 3, 1, height),
               (279, 4, 1, len(pixels)), (284, 3, 1, 1)]
    if samples == 4:
        entries.append((338, 3, 1, 2))
    header = 8
    ifd_size = 2 + 12 * len(entries) + 4
    data_at = header + ifd_size
    out = b'II*\0' + struct.pack('<I', header) + struct.pack('<H', len(entries))
    for tag, kind, count, value in entries:
        if tag == 273:
            value = data_at
        out += struct.pack('<HHI', tag, kind, count)
        out += struct.pack('<HH', value, 0) if kind == 3 else struct.pack('<I', value)
    return out + struct.pack('<I', 0) + bytes(pixels)


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def main(profile, corpus):
    def read(name):
        with open(os.path.join(profile, name), 'rb') as f:
            return f.read()

    selection = read('colour/selection.txt')
    plain = small_colour_table(read('colour/5000.ctb'))
    dots = small_colour_table(read('colour/5100.ctb'))
    calibration = [read('colour/980.map'), read('colour/990.ref'),
                   read('colour/5900.txt'), read('colour/5950.crv')]
    ids, grid, palette = read('halftone/100.ids'), read('halftone/400.grid'), read('halftone/420.pal')
    matrix = small_matrix(read('halftone/410.mtx'))
    pixels = bytes((i * 37) & 255 for i in range(96))
    runs = [(32, 0, 0), (32, 32, 0), (64, 0, 1)]

    engine = os.path.join(corpus, 'fuzz_engine')
    # (name, page, settings, colour table, halftone resources)
    pages = [
        ('colour-dots-hybrid', (1, 0, 2, 1, 0, 2, 0, 64), dots, [ids, grid, matrix, palette]),
        ('colour-dots-wide', (1, 0, 2, 1, 1, 2, 0, 64), dots, [ids, grid, matrix, palette]),
        ('colour-dots-screen', (3, 0, 4, 1, 0, 2, 0, 64), dots, [ids, grid, matrix, palette]),
        ('grey-dots-diffusion', (1, 0, 0, 0, 3, 2, 2, 64), dots, [ids, grid, matrix, palette]),
        ('colour-diffusion', (1, 0, 2, 1, 0, 1, 0, 64), plain, [ids, grid, matrix]),
        ('colour-screen', (3, 0, 2, 1, 1, 0, 3, 64), plain, [ids, grid, matrix]),
        ('grey-dither', (0, 0, 0, 0, 0, 1, 0, 64), plain, [ids, grid, matrix]),
    ]
    for name, page, table, halftone in pages:
        write(engine, name, engine_seed(page, (0, 0, 50, 1, 4), [selection, table],
                                        halftone, runs, pixels))
    write(engine, 'calibrated', engine_seed((1, 0, 2, 1, 0, 1, 0, 64), (0, 0, 50, 5, 4),
                                            [selection, plain] + calibration,
                                            [ids, grid, matrix], runs, pixels))
    write(engine, 'empty-id-list', engine_seed((1, 0, 2, 1, 0, 1, 0, 64), (0, 0, 50, 1, 4),
                                               [selection, plain], [b'\xff\xff'], runs, pixels))

    profile_corpus = os.path.join(corpus, 'fuzz_profile')
    kinds = [('selection', 0, selection), ('colour-table', 1, dots),
             ('channel-map', 2, calibration[0]), ('reference', 3, calibration[1]),
             ('curves', 4, calibration[3]), ('id-list', 5, ids), ('grid', 6, grid),
             ('matrix', 7, matrix), ('palette', 8, palette)]
    for name, kind, data in kinds:
        write(profile_corpus, name, bytes([kind, 3]) + data)
    manifest = json.loads(read('profile.json'))
    manifest['colourResources'] = [
        {'id': 0, 'kind': 'selectionTable', 'file': 'r0'},
        {'id': 5000, 'kind': 'colourTable', 'file': 'r1'}]
    manifest['halftoneResources'] = [
        {'id': 100, 'kind': 'idList', 'file': 'r2'},
        {'id': 410, 'kind': 'matrix', 'file': 'r3'}]
    text = json.dumps(manifest, separators=(',', ':')).encode()
    folder = chunk(text) + chunk(selection) + chunk(plain) + chunk(ids) + chunk(matrix)
    write(profile_corpus, 'manifest', bytes([9]) + folder)
    write(profile_corpus, 'inspected', bytes([10]) + folder)

    # Page sizes: width, height, x and y dpi (doubles), device resolution.
    pages = os.path.join(corpus, 'fuzz_page_size')
    for name, (width, height, x_dpi, y_dpi, x_res, y_res) in {
            'a4-at-300': (2480, 3508, 300.0, 300.0, 1440, 720),
            'no-resolution': (640, 480, 0.0, 0.0, 720, 720),
            'one-per-metre': (32, 32, 0.0254, 0.0254, 1440, 720),
            'at-the-side-limit': (131072, 1, 720.0, 720.0, 720, 720)}.items():
        write(pages, name, struct.pack('<IIddII', width, height, x_dpi, y_dpi, x_res, y_res))

    grey = [[(x * 32 + y) & 255 for x in range(8)] for y in range(8)]
    rgb = [[v for x in range(8) for v in (x * 32, y * 32, 128)] for y in range(8)]
    grey_alpha = [[v for x in range(8) for v in (x * 32, y * 32)] for y in range(8)]
    rgba = [[v for x in range(8) for v in (x * 32, y * 32, 128, 200)] for y in range(8)]
    images = os.path.join(corpus, 'fuzz_image_png')
    write(images, 'grey', png(8, 8, 0, 1, grey))
    write(images, 'rgb', png(8, 8, 2, 3, rgb))
    write(images, 'grey-alpha', png(8, 8, 4, 2, grey_alpha))
    write(images, 'rgba', png(8, 8, 6, 4, rgba))
    images = os.path.join(corpus, 'fuzz_image_tiff')
    write(images, 'grey', tiff(8, 8, 1, sum(grey, [])))
    write(images, 'rgb', tiff(8, 8, 3, sum(rgb, [])))
    write(images, 'rgba', tiff(8, 8, 4, sum(rgba, [])))
    images = os.path.join(corpus, 'fuzz_image_pnm')
    write(images, 'grey', b'P5\n# grey\n8 8\n255\n' + bytes(sum(grey, [])))
    write(images, 'rgb', b'P6\n8 8\n255\n' + bytes(sum(rgb, [])))
    write(images, 'grey16', b'P5 8 8 65535\n' + b''.join(struct.pack('>H', v * 257)
                                                           for v in sum(grey, [])))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
