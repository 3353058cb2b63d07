#!/usr/bin/env python3
"""Makes the zlib streams the decompressing-stream tests read.

Run once from this directory; the outputs are kept next to it. Each X.z is a
zlib stream whose decompressed content is X.bin (empty.z and dict.z have none
kept: empty.z holds nothing, dict.z needs a preset dictionary).
"""
import random
import struct
import zlib

INPUT_CHUNK = 4096


def words(rng, size):
    vocabulary = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                  for _ in range(300)]
    out = bytearray()
    while len(out) < size:
        out += rng.choice(vocabulary) + (b"\n" if rng.random() < 0.1 else b" ")
    return bytes(out[:size])


def save(name, data, stream):
    assert zlib.decompress(stream) == data
    if data:
        with open(name + ".bin", "wb") as f:
            f.write(data)
    with open(name + ".z", "wb") as f:
        f.write(stream)


def boundary(rng):
    # Incompressible data whose stream is exactly two input chunks long.
    noise = rng.randbytes(3 * INPUT_CHUNK)
    for size in range(2 * INPUT_CHUNK - 64, 2 * INPUT_CHUNK):
        stream = zlib.compress(noise[:size], 6)
        if len(stream) == 2 * INPUT_CHUNK:
            return noise[:size], stream
    raise SystemExit("no size gives a stream of exactly two input chunks")


def no_output_first_chunk(data):
    # zlib header, then empty stored blocks (not final) until the first input
    # chunk is used up and the next chunk starts inside one of them, then the
    # data as a raw deflate stream and the Adler-32 of the data.
    header = b"\x78\x9c"
    empty_block = b"\x00\x00\x00\xff\xff"
    blocks = (INPUT_CHUNK - len(header)) // len(empty_block) + 1
    prefix = header + empty_block * blocks
    assert len(prefix) > INPUT_CHUNK and (len(prefix) - INPUT_CHUNK) < len(empty_block)
    raw = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = raw.compress(data) + raw.flush()
    return prefix + body + struct.pack(">I", zlib.adler32(data))


def main():
    rng = random.Random(20240611)
    text = words(rng, 60000)
    save("text", text, zlib.compress(text, 9))

    data, stream = boundary(rng)
    save("boundary", data, stream)

    first = words(rng, 9000)
    save("nooutput", first, no_output_first_chunk(first))

    save("empty", b"", zlib.compress(b""))

    dictionary = b"packages and their files"
    packer = zlib.compressobj(zdict=dictionary)
    with open("dict.z", "wb") as f:
        f.write(packer.compress(dictionary * 4) + packer.flush())


if __name__ == "__main__":
    main()
