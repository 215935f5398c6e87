"""Exam-like data for the benchmarks: database pages and text, made from a seeded random
generator so that every run measures the same bytes."""

PAGE = 4096


def database_file(rng, pages):
    """Pages like a database file's: a header, records of numbers and names, free space."""
    names = [("계정%04d" % i).encode() for i in range(500)] + [b"Cash", b"Sales", b"Payable"]
    out = bytearray()
    for page in range(pages):
        body = bytearray(b"\x0d\x00\x00" + page.to_bytes(4, "little"))
        while len(body) < PAGE - 600:
            body += rng.randbytes(4) + rng.choice(names) + b"\x00" + \
                str(rng.randrange(10 ** 9)).encode() + b"\x01"
        body += b"\x00" * (PAGE - len(body))
        out += body
    return bytes(out)


def text_file(rng, lines_pool, size):
    out = []
    total = 0
    while total < size:
        line = rng.choice(lines_pool)
        out.append(line)
        total += len(line)
    return b"".join(out)
