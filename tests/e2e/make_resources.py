#!/usr/bin/env python3
"""Writes the databases and damaged resources the end-to-end variants embed.

    make_resources.py OUTPUT_DIR

Databases (decompressed; the build compresses them, DATABASE of
quenwick_add_executable):
    empty.db   no Definitions
    one.db     one Definition with no preconditions and no actions
    three.db   three such Definitions, one with a non-ASCII name
    families.db  the two family-specific elements at work (family_databases.py)

Resources embedded unchanged (RESOURCE of quenwick_add_executable), each
damaged in one way:
    truncated_stream.bin   the zlib stream is cut off halfway
    garbage.bin            a plausible declared size, then bytes that are no zlib stream
    zero_size.bin          a declared size of 0 before a valid stream
    size_too_small.bin     a declared size smaller than the stream's data
    count_too_large.bin    a valid stream whose count needs more records than the data holds
    tiny.bin               a resource of 3 bytes, shorter than the declared size field

The names of the Definitions are in definitions.json so that the tests read
them from the same place.
"""

import json
import os
import struct
import sys
import zlib

import family_databases

# Names in database order; the second is not plain ASCII, so the console
# output shows how wide names reach a byte stream.
THREE_NAMES = ["Alpha Antivirus 2009", "S\u00e9curit\u00e9 Totale \u00c9dition", "Gamma Cleaner Pro"]
ONE_NAMES = ["Lone Defender"]


def text(value):
    """A zero-terminated UTF-16LE text as the database stores it."""
    return value.encode("utf-16-le") + b"\0\0"


def u32(value):
    return struct.pack("<I", value)


def definition(name, ident):
    """A Definition record with no variables, no preconditions and no actions:
    it is found on every machine, and cleaning it does nothing."""
    variables, preconditions, actions = 0, 0, 0
    return u32(variables) + text(name) + text(ident) + u32(preconditions) + u32(actions)


def database(names):
    records = b"".join(definition(name, str(100 + i)) for i, name in enumerate(names))
    return u32(len(names)) + records


def resource(declared_size, stream):
    return u32(declared_size) + stream


def damaged_resources():
    data = database(THREE_NAMES)
    stream = zlib.compress(data, 9)
    # Claims 1000 records; the data ends after the count.
    overfull = u32(1000) + definition("Only One", "1")
    garbage = bytes((i * 37 + 11) % 251 for i in range(200))
    return {
        "truncated_stream.bin": resource(len(data), stream[: len(stream) // 2]),
        "garbage.bin": resource(len(data), garbage),
        "zero_size.bin": resource(0, stream),
        "size_too_small.bin": resource(len(data) // 2, stream),
        "count_too_large.bin": resource(len(overfull), zlib.compress(overfull, 9)),
        "tiny.bin": b"\x10\x00\x00",
    }


def outputs():
    files = {
        "empty.db": database([]),
        "one.db": database(ONE_NAMES),
        "three.db": database(THREE_NAMES),
    }
    files.update(family_databases.outputs())
    files.update(damaged_resources())
    files["definitions.json"] = json.dumps(
        {"one.db": ONE_NAMES, "three.db": THREE_NAMES}, indent=2).encode()
    return files


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    out_dir = argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for name, content in outputs().items():
        with open(os.path.join(out_dir, name), "wb") as handle:
            handle.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
