#!/usr/bin/env python3
"""Writes S-record files of our own: sample firmware images in the old and new image layouts (not
real firmware: pseudo-random bytes around a valid identification block), and the benchmark's
maximum-size inputs.

    mot_sample.py new OUT.mot          new layout, 0x8000 bytes, S2 records of 32 bytes, CR LF
    mot_sample.py old OUT.mot          old layout, 0x4000 bytes, S1 records of 32 bytes, CR LF
    mot_sample.py old-bin OUT.bin      the same old-layout image as a binary file, one byte more (odd)
    mot_sample.py bench s3|s2 OUT.mot  0x30000 bytes; S3 records of 32 bytes or S2 of 16, CR LF
"""
import struct
import sys

ADDRESS_BYTES = {0: 2, 1: 2, 2: 3, 3: 4, 5: 2, 7: 4, 8: 3, 9: 2}
END_RECORD = {1: 9, 2: 8, 3: 7}


def record(kind, address, data=b""):
    body = bytes([ADDRESS_BYTES[kind] + len(data) + 1]) + address.to_bytes(ADDRESS_BYTES[kind], "big") + data
    checksum = ~sum(body) & 0xFF
    return "S%d%s%02X\r\n" % (kind, body.hex().upper(), checksum)


def srecords(image, kind, per_line, header):
    lines = [record(0, 0, header)]
    for offset in range(0, len(image), per_line):
        lines.append(record(kind, offset, image[offset:offset + per_line]))
    lines.append(record(END_RECORD[kind], 0))
    return "".join(lines)


def firmware_bytes(size, seed):
    """Deterministic bytes that look like code to nobody: a 32-bit xorshift sequence."""
    out = bytearray()
    state = seed
    while len(out) < size:
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out += struct.pack(">I", state)
    return out[:size]


def new_layout(size=0x8000):
    image = firmware_bytes(size, 0x51A7E57)
    block = bytearray(b"VRNC7Q52" + struct.pack(">I", size) + b"VORNA   QZV-57H         " + bytes(8))
    for version in ("2.10", "2.11", "2.12", "2.13"):
        block += (version + " sample image, not firmware").encode().ljust(36, b" ")
    image[0x2000:0x2000 + len(block)] = block
    return bytes(image)


def old_layout(size=0x4000):
    image = firmware_bytes(size, 0x01D0)
    image[0x2000:0x201C] = b"VORNA   QZV-57G         1.52"
    return bytes(image)


def main(argv):
    if len(argv) == 3 and argv[1] == "new":
        text = srecords(new_layout(), 2, 32, b"sample-new")
    elif len(argv) == 3 and argv[1] == "old":
        text = srecords(old_layout(), 1, 32, b"sample-old")
    elif len(argv) == 3 and argv[1] == "old-bin":
        # An odd length, so that a download shows its pad byte.
        with open(argv[2], "wb") as out:
            out.write(old_layout(0x4001))
        return 0
    elif len(argv) == 4 and argv[1] == "bench" and argv[2] in ("s3", "s2"):
        image = firmware_bytes(0x30000, 0xBE4C)
        text = srecords(image, 3, 32, b"bench") if argv[2] == "s3" else srecords(image, 2, 16, b"bench")
    else:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[-1], "w", newline="") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
