"""Fixtures written once for the brands of a family source, read as
`quenwick-db test` reads them, and the names and order of the brands'
Definitions; without Wine."""

import os
import shutil
import tempfile
import unittest

import fixture_file
from fixture_file import FixtureError

FAMILY_SOURCE = """\
family = 'Test Family'
brands = [
  { id = '900', name = 'Zeta Guard' },
  { id = '901', name = 'AlphaSafe' },
  { id = '902', name = 'Quick  Heal-Cleaner 2' },
]

[template]
description = '${name}'
variables = []

[[template.preconditions]]
type = 'FileExist'
path = '%CSIDL_PROGRAM_FILES%\\${name}\\${name}.exe'
"""

PLAIN_SOURCE = "name = 'Plain Rogue'\nid = '1'\n"

BRAND_FIXTURE = """\
family = 'fam'
description = '${name} ${id}'

[machine]
files = ['C:\\Program Files\\${name}\\${name}.exe']
processes = ['C:\\Program Files\\${name}\\${name}.exe']

[[machine.registry]]
key = 'HKEY_CURRENT_USER\\Software\\${name}'
values = { Id = '${id}' }

[expect]
found = ['${handle}']
gone = ['C:\\Program Files\\${name}']
"""

PLAIN_FIXTURE = """\
description = 'A plain fixture.'

[machine]
files = ['C:\\x.exe']

[expect]
found = ['plain']
"""


class FamilyFixtureTest(unittest.TestCase):

    def setUp(self):
        self.definitions = tempfile.mkdtemp(prefix="quenwick-fixture-file-")
        self.addCleanup(shutil.rmtree, self.definitions)
        self.write("fam.toml", FAMILY_SOURCE)
        self.write("plain.toml", PLAIN_SOURCE)
        self.write("a-first.toml", "name = 'First'\nid = '2'\n")

    def write(self, relative, text):
        path = os.path.join(self.definitions, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as handle:
            handle.write(text)
        return path

    def fixture(self, text, name="case.toml", folder="fam"):
        return self.write("fixtures/%s/%s" % (folder, name), text)

    def test_a_family_fixture_stands_for_each_brand_with_its_name_id_and_handle(self):
        fixtures = fixture_file.read_fixtures(self.fixture(BRAND_FIXTURE))
        self.assertEqual([(f.brand, f.handle, f.label, f.description, f.expect.found) for f in fixtures], [
            ("Zeta Guard", "fam/zeta-guard", "fam/case [Zeta Guard]", "Zeta Guard 900", ["fam/zeta-guard"]),
            ("AlphaSafe", "fam/alphasafe", "fam/case [AlphaSafe]", "AlphaSafe 901", ["fam/alphasafe"]),
            ("Quick  Heal-Cleaner 2", "fam/quick-heal-cleaner-2", "fam/case [Quick  Heal-Cleaner 2]",
             "Quick  Heal-Cleaner 2 902", ["fam/quick-heal-cleaner-2"]),
        ])
        first = fixtures[0]
        self.assertEqual([p.path for p in first.files], ["C:\\Program Files\\Zeta Guard\\Zeta Guard.exe"])
        self.assertEqual([p.image for p in first.processes], ["C:\\Program Files\\Zeta Guard\\Zeta Guard.exe"])
        self.assertEqual(first.keys[0].path, "HKEY_CURRENT_USER\\Software\\Zeta Guard")
        self.assertEqual(first.keys[0].values[0].data, fixture_file.string_bytes("900"))
        self.assertEqual(first.expect.gone, ["C:\\Program Files\\Zeta Guard"])

    def test_the_brands_a_fixture_or_its_reader_names_are_the_only_ones(self):
        listed = "brands = ['AlphaSafe', 'Quick  Heal-Cleaner 2']\n" + BRAND_FIXTURE
        cases = [
            # (fixture text, brands asked for, brands read)
            (BRAND_FIXTURE, None, ["Zeta Guard", "AlphaSafe", "Quick  Heal-Cleaner 2"]),
            (BRAND_FIXTURE, ["AlphaSafe"], ["AlphaSafe"]),
            (listed, None, ["AlphaSafe", "Quick  Heal-Cleaner 2"]),
            (listed, ["Quick  Heal-Cleaner 2"], ["Quick  Heal-Cleaner 2"]),
            # Asked for a brand the fixture does not list: nothing.
            (listed, ["Zeta Guard"], []),
            (PLAIN_FIXTURE, None, [""]),
        ]
        for text, asked, brands in cases:
            with self.subTest(asked=asked, text=text[:40]):
                path = self.fixture(text)
                self.assertEqual([f.brand for f in fixture_file.read_fixtures(path, asked)], brands)

    def test_read_fixture_needs_the_brand_of_a_family_fixture(self):
        path = self.fixture(BRAND_FIXTURE)
        self.assertEqual(fixture_file.read_fixture(path, "AlphaSafe").handle, "fam/alphasafe")
        with self.assertRaisesRegex(FixtureError, "stands for 3 brands; name one"):
            fixture_file.read_fixture(path)
        plain = self.fixture(PLAIN_FIXTURE, folder="plain")
        self.assertEqual(fixture_file.read_fixture(plain).handle, "plain")

    def test_faulty_family_fixtures_are_refused(self):
        cases = [
            # (fixture text, brands asked for, the message)
            ("description = '${name}'\n[expect]\nfound = []\n", None,
             r"\$\{\.\.\.\} stands for a brand only in a fixture that names its family"),
            (BRAND_FIXTURE.replace("${id}", "${brand}"), None, "knows \\${name}, \\${id} and \\${handle}"),
            (BRAND_FIXTURE.replace("'${name} ${id}'", "'''${name\n'''"), None, "knows"),
            (BRAND_FIXTURE.replace("family = 'fam'", "family = 'plain'"), None,
             "'plain' is no family source with brands"),
            (BRAND_FIXTURE.replace("family = 'fam'", "family = 'missing'"), None, "'missing' is no family"),
            (BRAND_FIXTURE.replace("family = 'fam'", "family = 'fam'\nbrands = ['Alphasafe']"), None,
             "'Alphasafe' is no brand of that family"),
            (BRAND_FIXTURE.replace("family = 'fam'", "family = 'fam'\nbrands = 'AlphaSafe'"), None,
             "brands = \\['Name', ...\\] lists brand names"),
            (BRAND_FIXTURE, ["Nobody"], "'Nobody' is no brand of that family"),
            (PLAIN_FIXTURE, ["AlphaSafe"], "a fixture without family = '...' has no brands"),
            (BRAND_FIXTURE.replace("description", "descripton"), None, "has no field 'descripton'"),
        ]
        for text, asked, message in cases:
            with self.subTest(message=message):
                path = self.fixture(text)
                with self.assertRaisesRegex(FixtureError, message) as caught:
                    fixture_file.read_fixtures(path, asked)
                self.assertTrue(str(caught.exception).startswith(path + ": "))

    def test_brand_names_and_database_order(self):
        handles = ["plain", "fam/quick-heal-cleaner-2", "fam/zeta-guard", "a-first", "fam/alphasafe"]
        self.assertEqual(fixture_file.database_order(handles, self.definitions),
                         ["a-first", "fam/zeta-guard", "fam/alphasafe", "fam/quick-heal-cleaner-2", "plain"])
        names = [fixture_file.definition_name(h, self.definitions) for h in handles]
        self.assertEqual(names, ["Plain Rogue", "Quick  Heal-Cleaner 2", "Zeta Guard", "First", "AlphaSafe"])
        with self.assertRaisesRegex(FixtureError, "'fam/nobody' is no brand of definitions/fam.toml"):
            fixture_file.definition_name("fam/nobody", self.definitions)

    def test_brand_slugs(self):
        cases = [("Quick Heal Cleaner", "quick-heal-cleaner"), ("APCProtect", "apcprotect"),
                 ("  Spy--Sheriff 2.0! ", "spy-sheriff-2-0"), ("Caf\u00e9 Guard", "caf\u00e9-guard")]
        for name, slug in cases:
            with self.subTest(name=name):
                self.assertEqual(fixture_file.brand_slug(name), slug)


class ShippedFamilyFixturesTest(unittest.TestCase):
    """The family fixtures of definitions/ read for every brand they name."""

    DEFINITIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "definitions")

    def test_each_brand_of_a_shipped_family_fixture_finds_its_own_definition(self):
        root = os.path.join(self.DEFINITIONS, "fixtures")
        checked = 0
        for stem in ("winiguard", "spysheriff-brands"):
            brands = fixture_file.family_brands(self.DEFINITIONS, stem)
            self.assertGreater(len(brands), 1, stem)
            fixtures = fixture_file.read_fixtures(os.path.join(root, stem, "installed.toml"))
            self.assertEqual([f.brand for f in fixtures], [b.name for b in brands])
            for fixture in fixtures:
                self.assertEqual(fixture.expect.found, [fixture.handle])
                self.assertIn(fixture.brand, fixture.files[0].path)
                self.assertNotIn("${", repr(fixture))
                self.assertEqual(fixture_file.definition_name(fixture, self.DEFINITIONS), fixture.brand)
                checked += 1
        self.assertGreater(checked, 2)


if __name__ == "__main__":
    unittest.main()
