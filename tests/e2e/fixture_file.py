"""Definition fixtures (definitions/fixtures/<family>/<case>.toml) as Python
objects: the machine a fixture describes and what it expects, read by the
same rules as `quenwick-db test` (docs/definition-format.md), texts and
registry data exactly as the fixture reader builds them.

A fixture written once for the brands of a family source (`family = 'STEM'`,
optionally `brands = [...]`) stands for one fixture per brand: ${name}, ${id}
and ${handle} are put into its text before it is read, as the C++ tool does.

Standard library only (Python 3.11 for tomllib).
"""

import os
import re
import struct
import tomllib
from dataclasses import dataclass, field

# --- Registry types and file attributes ----------------------------------------

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 3, 4, 7, 11
FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM = 0x1, 0x2, 0x4
ATTRIBUTE_NAMES = {"readonly": FILE_ATTRIBUTE_READONLY, "hidden": FILE_ATTRIBUTE_HIDDEN,
                   "system": FILE_ATTRIBUTE_SYSTEM, "archive": 0x20, "normal": 0x80}

MAX_DWORD = 0xFFFFFFFF
MAX_QWORD = 0x7FFFFFFFFFFFFFFF

# The path macros of the shell folders a fixture may move.
SHELL_FOLDER_NAMES = (
    "CSIDL_DESKTOP", "CSIDL_PROGRAMS", "CSIDL_PERSONAL", "CSIDL_STARTUP", "CSIDL_STARTMENU",
    "CSIDL_MYDOCUMENTS", "CSIDL_DESKTOPDIRECTORY", "CSIDL_COMMON_STARTMENU", "CSIDL_COMMON_PROGRAMS",
    "CSIDL_COMMON_STARTUP", "CSIDL_COMMON_DESKTOPDIRECTORY", "CSIDL_APPDATA", "CSIDL_LOCAL_APPDATA",
    "CSIDL_COMMON_APPDATA", "CSIDL_WINDOWS", "CSIDL_SYSTEM", "CSIDL_PROGRAM_FILES", "CSIDL_PROFILE",
    "CSIDL_PROGRAM_FILESX86", "CSIDL_PROGRAM_FILES_COMMON", "CSIDL_COMMON_DOCUMENTS",
)


class FixtureError(Exception):
    """A fixture that does not follow the format."""


# --- Reading a fixture ------------------------------------------------------------

@dataclass
class PlantedFile:
    path: str
    attributes: int = 0
    locked: bool = False
    deny_delete: bool = False


@dataclass
class RegValue:
    name: str
    type: int
    data: bytes


@dataclass
class RegKey:
    path: str
    values: list
    read_only: bool = False


@dataclass
class Process:
    image: str
    terminable: bool = True


@dataclass
class Expectations:
    found: list = field(default_factory=list)
    gone: list = field(default_factory=list)
    present: list = field(default_factory=list)
    untouched: list = field(default_factory=list)
    values_gone: list = field(default_factory=list)   # (key, name)
    values: list = field(default_factory=list)        # (key, RegValue)
    pending_deletion: list = None                     # exact set when given
    ended: list = field(default_factory=list)
    running: list = field(default_factory=list)
    started: list = None                              # command lines when given


@dataclass
class Fixture:
    file: str
    family: str        # the Definition file name the fixture belongs to
    case: str
    description: str
    files: list
    folders: list
    keys: list
    processes: list
    environment: dict
    shell_folders: dict
    short_names: dict  # planted long path -> its 8.3 form
    expect: Expectations
    brand: str = ""    # the brand of a family's fixture; "" for an ordinary one

    @property
    def handle(self):
        """The handle of the Definition the fixture belongs to."""
        return "%s/%s" % (self.family, brand_slug(self.brand)) if self.brand else self.family

    @property
    def label(self):
        return "%s/%s%s" % (self.family, self.case, " [%s]" % self.brand if self.brand else "")


def _text(node, what):
    """A fixture text: a string, or { utf16 = [code units] }."""
    if isinstance(node, str):
        return node
    if isinstance(node, dict) and set(node) == {"utf16"} and isinstance(node["utf16"], list):
        units = node["utf16"]
        if not all(isinstance(u, int) and 1 <= u <= 0xFFFF for u in units):
            raise FixtureError("%s: a UTF-16 code unit is a number from 1 to 65535" % what)
        return struct.pack("<%dH" % len(units), *units).decode("utf-16-le", "surrogatepass")
    raise FixtureError("%s must be a string or { utf16 = [...] }" % what)


def _texts(table, key):
    items = table.get(key, [])
    if not isinstance(items, list):
        raise FixtureError("'%s' must be an array" % key)
    return [_text(item, key) for item in items]


def _check_keys(table, allowed, where):
    unknown = sorted(set(table) - set(allowed))
    if unknown:
        raise FixtureError("%s has no field %s" % (where, ", ".join(repr(k) for k in unknown)))


def _flag(table, key):
    value = table.get(key, False)
    if not isinstance(value, bool):
        raise FixtureError("'%s' must be true or false" % key)
    return value


def _number(node, limit, what):
    if not isinstance(node, int) or isinstance(node, bool) or not 0 <= node <= limit:
        raise FixtureError("%s must be a number from 0 to %d" % (what, limit))
    return node


def _entry(node, folder):
    if isinstance(node, str) or (isinstance(node, dict) and "utf16" in node):
        return PlantedFile(_text(node, "path"))
    if not isinstance(node, dict) or "path" not in node:
        raise FixtureError("an entry is a path or { path = '...', attributes = [...] }")
    _check_keys(node, ("path", "attributes", "locked", "deny_delete"), "a folder" if folder else "a file")
    attributes = 0
    for name in node.get("attributes", []):
        if name not in ATTRIBUTE_NAMES:
            raise FixtureError("attributes are readonly, hidden, system, archive and normal")
        attributes |= ATTRIBUTE_NAMES[name]
    return PlantedFile(_text(node["path"], "path"), attributes, _flag(node, "locked"),
                       _flag(node, "deny_delete"))


def string_bytes(text):
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def _value(node, name, extra_keys=()):
    """A registry value as the fixture reader builds it: its type and bytes."""
    if isinstance(node, str):
        return RegValue(name, REG_SZ, string_bytes(node))
    if not isinstance(node, dict):
        raise FixtureError("a registry value is a string or a table such as { dword = 1 }")
    kinds = ("sz", "expand_sz", "multi_sz", "dword", "qword", "binary")
    _check_keys(node, kinds + ("type",) + tuple(extra_keys), "a registry value")
    given = [k for k in kinds if k in node]
    if len(given) != 1:
        raise FixtureError("a registry value needs exactly one of " + ", ".join(kinds))
    kind = given[0]
    data = node[kind]
    if kind == "sz":
        value = RegValue(name, REG_SZ, string_bytes(_text(data, "sz")))
    elif kind == "expand_sz":
        value = RegValue(name, REG_EXPAND_SZ, string_bytes(_text(data, "expand_sz")))
    elif kind == "multi_sz":
        if not isinstance(data, list):
            raise FixtureError("'multi_sz' must be an array of strings")
        value = RegValue(name, REG_MULTI_SZ,
                         b"".join(string_bytes(_text(t, "multi_sz")) for t in data) + b"\0\0")
    elif kind == "dword":
        value = RegValue(name, REG_DWORD, struct.pack("<I", _number(data, MAX_DWORD, "dword")))
    elif kind == "qword":
        value = RegValue(name, REG_QWORD, struct.pack("<Q", _number(data, MAX_QWORD, "qword")))
    else:
        if not isinstance(data, list):
            raise FixtureError("'binary' must be an array of byte values")
        value = RegValue(name, REG_BINARY, bytes(_number(b, 255, "binary") for b in data))
    if "type" in node:
        value.type = _number(node["type"], MAX_DWORD, "type")
    return value


def read_fixtures(path, brands=None):
    """The fixtures a fixture file stands for: itself, or one per brand of its
    family (only those named in `brands` when given); raises FixtureError
    when it does not follow the format (the same rules as `quenwick-db test`)."""
    with open(path, "rb") as handle:
        text = handle.read().decode("utf-8")
    try:
        return [_fixture(path, _parse(expanded), brand)
                for brand, expanded in _instances(path, text, brands)]
    except FixtureError as error:
        raise FixtureError("%s: %s" % (path, error)) from None


def read_fixture(path, brand=None):
    """The one fixture of a file; a family's fixture needs the brand."""
    fixtures = read_fixtures(path, None if brand is None else [brand])
    if len(fixtures) != 1:
        raise FixtureError("%s: stands for %d brands; name one" % (path, len(fixtures)))
    return fixtures[0]


def _parse(text):
    try:
        return tomllib.loads(text)
    except tomllib.TOMLDecodeError as error:
        raise FixtureError(str(error)) from None


# --- Fixtures for a family's brands ------------------------------------------------

PLACEHOLDER = re.compile(r"\$\{([^}\n]*)(\}?)")
FIXTURE_PLACEHOLDERS = ("name", "id", "handle")


@dataclass
class Brand:
    name: str
    id: str
    handle: str   # <family file stem>/<brand slug>
    index: int    # its place among the family's brands


def brand_slug(name):
    """The brand's part of its handle: letters lower-cased, every run of
    other ASCII characters one "-" ("Quick Heal Cleaner" -> "quick-heal-cleaner")."""
    slug = ""
    for c in name:
        if "a" <= c <= "z" or "0" <= c <= "9" or ord(c) >= 0x80:
            slug += c
        elif "A" <= c <= "Z":
            slug += c.lower()
        elif slug and not slug.endswith("-"):
            slug += "-"
    return slug.rstrip("-")


def family_brands(definitions_dir, stem):
    """The brands of definitions/<stem>.toml in their order; [] when it is
    not a family source."""
    path = os.path.join(definitions_dir, stem + ".toml")
    if not os.path.isfile(path):
        return []
    with open(path, "rb") as handle:
        root = tomllib.load(handle)
    return [Brand(b["name"], b["id"], "%s/%s" % (stem, brand_slug(b["name"])), i)
            for i, b in enumerate(root.get("brands", []))]


def _instances(path, text, wanted):
    """(brand name, text) for each fixture the text stands for."""
    placeholders = PLACEHOLDER.findall(text)
    root = _parse(text)
    if "family" not in root:
        if placeholders:
            raise FixtureError("${...} stands for a brand only in a fixture that names its family = '...'")
        if wanted:
            raise FixtureError("a fixture without family = '...' has no brands")
        return [("", text)]
    for name, closed in placeholders:
        if not closed or name not in FIXTURE_PLACEHOLDERS:
            raise FixtureError("a fixture for a family knows ${name}, ${id} and ${handle}")
    family, listed = root["family"], root.get("brands", [])
    if not isinstance(family, str) or not isinstance(listed, list) \
            or not all(isinstance(b, str) for b in listed):
        raise FixtureError("family = 'STEM' names a family source; brands = ['Name', ...] lists brand names")
    brands = family_brands(_definitions_dir_of_file(path), family)
    if not brands:
        raise FixtureError("'%s' is no family source with brands" % family)
    names = {b.name for b in brands}
    for name in list(listed) + list(wanted or []):
        if name not in names:
            raise FixtureError("'%s' is no brand of that family" % name)
    chosen = [b for b in brands if (not listed or b.name in listed) and (not wanted or b.name in wanted)]
    return [(b.name, PLACEHOLDER.sub(lambda m, b=b: getattr(b, m.group(1)), text)) for b in chosen]


def _fixture(path, root, brand=""):
    _check_keys(root, ("description", "machine", "expect", "family", "brands"), "a fixture")
    machine = root.get("machine", {})
    _check_keys(machine, ("files", "folders", "registry", "processes", "environment", "shell_folders",
                          "short_names"), "[machine]")
    files = [_entry(item, False) for item in machine.get("files", [])]
    folders = [_entry(item, True) for item in machine.get("folders", [])]
    keys = []
    for item in machine.get("registry", []):
        if not isinstance(item, dict) or "key" not in item:
            raise FixtureError("a registry entry needs key = 'HKEY_...\\...'")
        _check_keys(item, ("key", "values", "read_only"), "a registry entry")
        values = [_value(data, name) for name, data in item.get("values", {}).items()]
        keys.append(RegKey(_text(item["key"], "key"), values, _flag(item, "read_only")))
    processes = []
    for item in machine.get("processes", []):
        if isinstance(item, dict) and "image" in item:
            _check_keys(item, ("image", "terminable"), "a process")
            processes.append(Process(_text(item["image"], "image"), item.get("terminable", True)))
        else:
            processes.append(Process(_text(item, "image")))
    environment = {name: _text(v, "environment value")
                   for name, v in machine.get("environment", {}).items()}
    shell_folders = {name: _text(v, "shell folder") for name, v in machine.get("shell_folders", {}).items()}
    short_names = {path: _text(v, "short path") for path, v in machine.get("short_names", {}).items()}
    for name in shell_folders:
        if name not in SHELL_FOLDER_NAMES:
            raise FixtureError("'%s' is not a shell folder the program knows" % name)

    if not isinstance(root.get("expect"), dict):
        raise FixtureError("a fixture needs an [expect] table")
    table = root["expect"]
    _check_keys(table, ("found", "gone", "present", "untouched", "values_gone", "values",
                        "pending_deletion", "ended", "running", "started"), "[expect]")
    expect = Expectations(
        found=[str(stem) for stem in table.get("found", [])],
        gone=_texts(table, "gone"), present=_texts(table, "present"),
        untouched=_texts(table, "untouched"), ended=_texts(table, "ended"),
        running=_texts(table, "running"),
        pending_deletion=_texts(table, "pending_deletion") if "pending_deletion" in table else None,
        started=_texts(table, "started") if "started" in table else None)
    for ref in table.get("values_gone", []):
        if not isinstance(ref, dict) or "key" not in ref or "name" not in ref:
            raise FixtureError("a gone value is { key = '...', name = '...' }")
        _check_keys(ref, ("key", "name"), "a gone value")
        expect.values_gone.append((_text(ref["key"], "key"), _text(ref["name"], "name")))
    for item in table.get("values", []):
        if not isinstance(item, dict) or "key" not in item or "name" not in item:
            raise FixtureError("an expected value is { key = '...', name = '...', sz = '...' }")
        name = _text(item["name"], "name")
        expect.values.append((_text(item["key"], "key"), _value(item, name, ("key", "name"))))

    folder = os.path.dirname(os.path.abspath(path))
    return Fixture(file=path, family=os.path.basename(folder),
                   case=os.path.splitext(os.path.basename(path))[0],
                   description=root.get("description", ""), files=files, folders=folders,
                   keys=keys, processes=processes, environment=environment,
                   shell_folders=shell_folders, short_names=short_names, expect=expect,
                   brand=brand)


def _brand_of(handle, definitions_dir):
    stem = handle.split("/")[0]
    for brand in family_brands(definitions_dir, stem):
        if brand.handle == handle:
            return brand
    raise FixtureError("'%s' is no brand of definitions/%s.toml" % (handle, stem))


def definition_name(handle, definitions_dir):
    """The name a Definition prints, from its handle (or a fixture's): the
    file name of definitions/<stem>.toml, or <family stem>/<brand slug> for a
    brand."""
    if isinstance(handle, Fixture):
        handle = handle.handle
    if "/" in handle:
        return _brand_of(handle, definitions_dir).name
    with open(os.path.join(definitions_dir, handle + ".toml"), "rb") as handle_file:
        return tomllib.load(handle_file)["name"]


def database_order(handles, definitions_dir):
    """The handles in the Definitions' order in the database: by file name
    (as bytes), a family's brands in its file's place in their own order."""
    def key(handle):
        stem = handle.split("/")[0]
        return ((stem + ".toml").encode(), _brand_of(handle, definitions_dir).index if "/" in handle else -1)
    return sorted(handles, key=key)


def definitions_dir_of(fixture):
    """definitions/ of a fixture at definitions/fixtures/<stem>/<case>.toml."""
    return _definitions_dir_of_file(fixture.file)


def _definitions_dir_of_file(path):
    return os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(path))))
