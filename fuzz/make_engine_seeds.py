#!/usr/bin/env python3
"""Makes the seed corpus of fuzz_engine_reader with recfile.

    python3 fuzz/make_engine_seeds.py build/sanitize/bin/recfile

Each seed is the control block the target reads first (a rectangle, a
position shift, flags, an owner) followed by a data file: small sound files
made by recfile, and damaged copies of them. The seeds are committed; run
this again only to change them.
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "fuzz_engine_reader")

PROGRAM_RECTANGLE, SHORTEN, STANDARD_CHUNK, SMALL_CHUNK_BUFFER, SYNTHESIZE = 1, 2, 4, 8, 16
# A described file (fuzz/engine_file_generator.h): state byte, journal byte,
# then 4 bytes a record.
TAIL_PAST_END, COUNT_TOO_HIGH, END_INSIDE_RECORD, FILE_OWNER = 1, 2, 3, 4
ROLL_BACK, FORGED, TORN = 1 << 6, 2 << 6, 3 << 6
DATA_FLIPPED, HEADER_FLIPPED, LENGTH_PAST_CAPACITY, CUT_HERE, EMPTY, HUGE_CAPACITY = 1, 2, 4, 8, 16, 32


def described(state=0, journal=0, records=()):
    return bytes([state, journal]) + b"".join(
        struct.pack("<HBB", length, slack, flags) for length, slack, flags in records)


def control(rows=4, first=1, per_row=2, distance=3, shift=0, flags=0, owner=b""):
    return struct.pack("<IIIIiBB", rows, first, per_row, distance, shift, flags, len(owner)) + owner


def make(recfile, workdir, name, items, owner=None):
    path = os.path.join(workdir, name)
    owner_args = [f"--owner={owner}"] if owner else []
    subprocess.run([recfile, "create", path] + owner_args, check=True)
    if items:
        subprocess.run([recfile, "add", path] + owner_args + items, check=True)
    with open(path, "rb") as f:
        return f.read()


def main():
    recfile = sys.argv[1]
    os.makedirs(OUT, exist_ok=True)
    seeds = {}
    with tempfile.TemporaryDirectory() as work:
        mixed = make(recfile, work, "mixed.dat", ["10", "20+30", "hex:414243", "hex:", "150", "5+200"])
        empty = make(recfile, work, "empty.dat", [])
        owned = make(recfile, work, "owned.dat", ["8x3", "40+8"], owner="secret")
        many = make(recfile, work, "many.dat", ["1x40", "3+1x20"])

    seeds["mixed"] = control() + mixed
    seeds["mixed_program_rectangle"] = control(distance=16, flags=PROGRAM_RECTANGLE) + mixed
    seeds["mixed_shorten"] = control(flags=SHORTEN | STANDARD_CHUNK) + mixed
    seeds["mixed_small_chunk_buffer"] = control(rows=100, per_row=1, distance=1, flags=SMALL_CHUNK_BUFFER) + mixed
    seeds["mixed_shifted"] = control(shift=1, rows=1, first=0, per_row=16, distance=0) + mixed
    seeds["empty_file"] = control() + empty
    seeds["owned"] = control(owner=b"secret", flags=SHORTEN) + owned
    seeds["owned_wrong_owner"] = control(owner=b"Secret") + owned
    seeds["many_small"] = control(rows=3, first=0, per_row=1, distance=2) + many
    seeds["no_file"] = control()
    # Damage: cut inside the header, inside a record header, inside record
    # data; bytes flipped in the header, a record header and data; zeros.
    seeds["cut_in_header"] = control() + mixed[:300]
    seeds["cut_in_record_header"] = control() + mixed[:512 + 8]
    seeds["cut_in_record_data"] = control() + mixed[:512 + 16 + 5]
    seeds["cut_in_tail"] = control() + mixed[:-7]
    for name, offset in (("flip_header", 20), ("flip_state", 260), ("flip_record_header", 512 + 1),
                         ("flip_record_data", 512 + 16 + 3)):
        damaged = bytearray(mixed)
        damaged[offset] ^= 0x40
        seeds[name] = control() + bytes(damaged)
    seeds["zeros"] = control() + bytes(1024)
    plain = [(10, 0, 0), (300, 5, 0), (0, 8, EMPTY), (1023, 63, 0), (7, 0, 0)]
    seeds["described"] = control(flags=SYNTHESIZE | SHORTEN) + described(records=plain)
    seeds["described_owned"] = control(flags=SYNTHESIZE, owner=b"secret") + described(FILE_OWNER, records=plain)
    seeds["described_tail"] = control(flags=SYNTHESIZE) + described(TAIL_PAST_END, records=plain)
    seeds["described_count"] = control(flags=SYNTHESIZE) + described(COUNT_TOO_HIGH, records=plain)
    seeds["described_end_inside"] = control(flags=SYNTHESIZE) + described(END_INSIDE_RECORD, records=plain)
    seeds["described_roll_back"] = control(flags=SYNTHESIZE) + described(0, ROLL_BACK | 1, plain)
    seeds["described_forged"] = control(flags=SYNTHESIZE) + described(0, FORGED | 7, plain)
    seeds["described_torn"] = control(flags=SYNTHESIZE) + described(0, TORN | 2, plain)
    for name, flags in (("data_flipped", DATA_FLIPPED), ("header_flipped", HEADER_FLIPPED),
                        ("length_past_capacity", LENGTH_PAST_CAPACITY), ("cut", CUT_HERE),
                        ("huge_capacity", HUGE_CAPACITY)):
        records = plain[:2] + [(40, 3, flags)] + plain[2:]
        seeds["described_" + name] = control(flags=SYNTHESIZE) + described(TAIL_PAST_END, records=records)
    seeds["foreign"] = control() + b"not a data file at all\n" * 30
    for name, data in seeds.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)
    print(f"{len(seeds)} seeds in {OUT}")


if __name__ == "__main__":
    main()
