"""The database of the family end-to-end tests, written byte for byte, and
the family's path encoding that the tests use to plant an encoded path.

families.db holds two Definitions shaped like the shipped ones:

  "Antivirus 2009 (family key)": Antivirus2009Prec1 over HKCU\\Software with
      "Options", "pPath" and ".exe" into variables 0 and 1; then KillProcess
      and FileDelete of variable 0, StrConcat of the key path into variable 2,
      RegKeyDelete of variable 2, and RegValueDelete of the autorun value
      named by variable 1.
  "Advansed Spyware Detector (Userinit)": ASDPrec1 with
      "\\advansed spyware detector\\" as its precondition and as its action.
"""

import struct

ANTIVIRUS_NAME = "Antivirus 2009 (family key)"
ASD_NAME = "Advansed Spyware Detector (Userinit)"
ASD_PATTERN = "\\advansed spyware detector\\"
SOFTWARE_PREFIX = "HKEY_CURRENT_USER\\Software\\"
RUN_KEY = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"

TABLE_COUNT = 16
TABLE_SIZE = 64


def table_entry(table, value):
    """Every table a different permutation of 0..63 (29 is odd, so each is
    one), so a decoder that mixes up tables or their order decodes rubbish."""
    return (value * 29 + 7 * table + 3) % TABLE_SIZE


TABLES = bytes(table_entry(t, v) for t in range(TABLE_COUNT) for v in range(TABLE_SIZE))
_INVERSE = [{table_entry(t, v): v for v in range(TABLE_SIZE)} for t in range(TABLE_COUNT)]


def encode_path(path, selector=":"):
    """The family's encoding of an ASCII path, starting with table
    ord(selector) - ord(":"); one "!" per padding byte ends the text."""
    table = ord(selector) - ord(":")
    data = path.encode("ascii")
    padding = (3 - len(data) % 3) % 3
    data += b"\0" * padding
    out = [selector]
    for i in range(0, len(data), 3):
        accumulator = 0
        for b in range(3):
            byte = data[i + b]
            encoded = (byte & 0xC0) | _INVERSE[table][byte & 0x3F]
            accumulator |= encoded << (8 * b)
            table = (table + 1) % TABLE_COUNT
        out.extend(chr(ord(":") + ((accumulator >> (6 * c)) & 63)) for c in range(4))
    return "".join(out) + "!" * padding


def _u32(value):
    return struct.pack("<I", value)


def _text(value):
    return value.encode("utf-16-le") + b"\0\0"


def _literal(value):
    return _u32(1) + _text(value)


def _variable(index):
    return _u32(0) + _u32(index)


def _definition(name, ident, variables, preconditions, actions):
    return (_u32(variables) + _text(name) + _text(ident)
            + _u32(len(preconditions)) + b"".join(preconditions)
            + _u32(len(actions)) + b"".join(actions))


def _antivirus2009():
    precondition = (_u32(11) + _u32(0) + _text("Software") + _text(SOFTWARE_PREFIX)
                    + _text("Options") + _text("pPath") + _text(".exe") + TABLES)
    actions = [
        _u32(14) + _variable(0),                                    # KillProcess
        _u32(6) + _variable(0),                                     # FileDelete
        _u32(8) + _literal(SOFTWARE_PREFIX) + _variable(1) + _u32(2),  # StrConcat -> 2
        _u32(5) + _variable(2),                                     # RegKeyDelete
        _u32(4) + _literal(RUN_KEY) + _variable(1),                 # RegValueDelete
    ]
    return _definition(ANTIVIRUS_NAME, "4101", 3, [precondition], actions)


def _asd():
    element = _u32(15) + _text(ASD_PATTERN)
    return _definition(ASD_NAME, "4102", 0, [element], [element])


def families_database():
    records = [_antivirus2009(), _asd()]
    return _u32(len(records)) + b"".join(records)


def outputs():
    return {"families.db": families_database()}
