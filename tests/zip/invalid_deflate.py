"""Deflate streams that zlib rejects but a lenient inflate decodes: each comes with what such
an inflate makes of it, so that an archive can carry the matching CRC-32 and size, and only
the decoder's own checks can tell the stream is invalid. The last stream is sound.

  invalid_deflate.py --archive FILE   one-entry-per-stream zip archive (entry = stream name)
  invalid_deflate.py --seeds DIR      seeds of zip-inflate-fuzz: each stream with the lenient
                                      CRC-32 (flag 1) and with libdeflate's own (flag 2)
"""
import struct
import sys
import zlib


class Bits:
    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, value, count):  # fields go least significant bit first
        self.acc |= value << self.n
        self.n += count
        while self.n >= 8:
            self.out.append(self.acc & 255)
            self.acc >>= 8
            self.n -= 8

    def code(self, codeword, length):  # Huffman codewords go most significant bit first
        for i in reversed(range(length)):
            self.put((codeword >> i) & 1, 1)

    def done(self):
        if self.n:
            self.put(0, 8 - self.n)
        return bytes(self.out)


def fixed(b, sym):  # a symbol of the static literal/length code
    for first, last, base, length in ((0, 143, 0x30, 8), (144, 255, 0x190, 9),
                                      (256, 279, 0, 7), (280, 287, 0xC0, 8)):
        if first <= sym <= last:
            b.code(base + sym - first, length)


def canonical(lengths):
    counts = [0] + [lengths.count(n) for n in range(1, 16)]
    code, next_code = 0, [0] * 16
    for n in range(1, 16):
        code = (code + counts[n - 1]) << 1
        next_code[n] = code
    codes = {}
    for sym, n in enumerate(lengths):
        if n:
            codes[sym] = (next_code[n], n)
            next_code[n] += 1
    return codes


def dynamic(b, litlen, dist, runs=None, precode=None):
    """A final dynamic block's header; the lengths go one precode symbol each (0-15 of 4
    bits) unless `runs` lists (precode symbol, extra value, extra bits)."""
    precode = precode or [4] * 16 + [0, 0, 0]
    b.put(1, 1), b.put(2, 2), b.put(len(litlen) - 257, 5), b.put(len(dist) - 1, 5), b.put(15, 4)
    for sym in (16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15):
        b.put(precode[sym], 3)
    pre = canonical(precode)
    for sym, extra, bits in runs or [(n, 0, 0) for n in litlen + dist]:
        b.code(*pre[sym])
        b.put(extra, bits)
    return canonical(litlen)


def stored(b, data):  # a stored block that is not the last
    b.put(0, 3)
    b.done()
    b.out += struct.pack('<HH', len(data), len(data) ^ 0xFFFF) + data


def streams():
    """(name, stream, what a lenient inflate makes of it)"""
    b = Bits()
    b.put(3, 3), fixed(b, 97), fixed(b, 286), b.code(0, 5), fixed(b, 256)
    yield 'length symbol 286', b.done(), b'a' * 259
    head = bytes(range(256)) * 160
    b = Bits()
    stored(b, head)
    b.put(3, 3), fixed(b, 257), b.code(30, 5), b.put(0, 13), fixed(b, 256)
    yield 'distance symbol 30', b.done(), head + head[-24577:][:3]
    one = [0] * 257
    one[97] = one[256] = 1  # 'a' and end of block, one bit each
    b = Bits()
    code = dynamic(b, one + [0] * 30, [0])
    [b.code(*code[s]) for s in (97, 97, 256)]
    yield 'HLIT 30', b.done(), b'aa'
    b = Bits()
    code = dynamic(b, one, [0] * 31)
    [b.code(*code[s]) for s in (97, 256)]
    yield 'HDIST 30', b.done(), b'a'
    b = Bits()  # precode: 1 and 0 and 18 (runs of zeros); the last run goes 10 past the end
    code = dynamic(b, one, [0], [(18, 86, 7), (1, 0, 0), (18, 127, 7), (18, 9, 7), (1, 0, 0),
                                 (18, 0, 7)], [2, 1] + [0] * 16 + [2])
    [b.code(*code[s]) for s in (97, 256)]
    yield 'repeat past the last length', b.done(), b'a'
    match = [0] * 258
    match[97] = match[256] = 2
    match[257] = 1
    for name, dist, bit in (('match without distance code', [0], 0),
                            ("lone distance code's unused codeword", [1], 1)):
        b = Bits()
        code = dynamic(b, match, dist)
        b.code(*code[97]), b.code(*code[257]), b.put(bit, 1), b.code(*code[256])
        yield name, b.done(), b'aaaa'
    b = Bits()
    stored(b, b'abc')
    dynamic(b, [0] * 256 + [1], [0])
    b.put(1, 1)
    yield "lone end-of-block code's unused codeword", b.done(), b'abc'
    b = Bits()
    code = dynamic(b, one, [0])
    [b.code(*code[s]) for s in (97, 97, 256)]
    yield 'sound dynamic block', b.done(), b'aa'


def checked_streams():
    """The streams, each checked against zlib: all rejected but the last."""
    cases = list(streams())
    for i, (name, stream, lenient) in enumerate(cases):
        inflate = zlib.decompressobj(-15)
        try:
            sound = inflate.decompress(stream) == lenient and inflate.eof
        except zlib.error:
            sound = False
        assert sound == (i == len(cases) - 1), name
    return cases


def write_archive(path):
    local, central = bytearray(), bytearray()
    cases = checked_streams()
    for name, stream, lenient in cases:
        fields = struct.pack('<HHHHHIII', 20, 0, 8, 0, 0x21, zlib.crc32(lenient), len(stream),
                             len(lenient))
        central += (struct.pack('<IH', 0x02014B50, 20) + fields +
                    struct.pack('<HHHHHII', len(name), 0, 0, 0, 0, 0, len(local)) + name.encode())
        local += struct.pack('<I', 0x04034B50) + fields + struct.pack('<HH', len(name), 0)
        local += name.encode() + stream
    end = struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, len(cases), len(cases), len(central),
                      len(local), 0)
    with open(path, 'wb') as f:
        f.write(bytes(local + central + end))


def write_seeds(folder):
    for i, (name, stream, lenient) in enumerate(checked_streams()):
        for flags in (1, 2):
            with open('%s/invalid-deflate-%d-%d' % (folder, i, flags), 'wb') as f:
                f.write(struct.pack('<BII', flags, len(lenient), zlib.crc32(lenient)) + stream)


if __name__ == '__main__':
    {'--archive': write_archive, '--seeds': write_seeds}[sys.argv[1]](sys.argv[2])
