"""The add-on's extension manifest as Blender 4.2+ reads it (Python's
tomllib): every required key with a valid value, the optional ones it uses
valid, and its name and version those of bl_info, which Blender 3.x reads.
Needs no Blender: python3 test_manifest.py."""

import ast
import os
import re
import tomllib
import unittest

PACKAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "blender", "kestrelwood")
REQUIRED = ("schema_version", "id", "version", "name", "tagline", "maintainer", "type", "license",
            "blender_version_min")
PLATFORMS = {"windows-x64", "windows-arm64", "macos-x64", "macos-arm64", "linux-x64"}
PERMISSIONS = {"files", "network", "clipboard", "camera", "microphone"}
SEMVER = re.compile(r"^(0|[1-9]\d*)\.(0|[1-9]\d*)\.(0|[1-9]\d*)(-[0-9A-Za-z.-]+)?(\+[0-9A-Za-z.-]+)?$")


def bl_info():
    tree = ast.parse(open(os.path.join(PACKAGE, "__init__.py"), encoding="utf-8").read())
    for node in tree.body:
        if isinstance(node, ast.Assign) and any(getattr(t, "id", "") == "bl_info" for t in node.targets):
            return ast.literal_eval(node.value)
    raise AssertionError("__init__.py has no bl_info")


class ManifestTest(unittest.TestCase):
    def setUp(self):
        with open(os.path.join(PACKAGE, "blender_manifest.toml"), "rb") as f:
            self.m = tomllib.load(f)

    def test_required_keys_and_their_values(self):
        m = self.m
        for key in REQUIRED:
            self.assertIn(key, m)
            self.assertTrue(m[key], f"{key} is empty (Blender refuses empty values)")
        self.assertEqual(m["schema_version"], "1.0.0")
        self.assertEqual(m["id"], "kestrelwood")
        self.assertTrue(m["id"].isidentifier() and "__" not in m["id"] and not m["id"].startswith("_")
                        and not m["id"].endswith("_"))
        self.assertRegex(m["version"], SEMVER)
        self.assertEqual(m["type"], "add-on")
        self.assertLessEqual(len(m["tagline"]), 64)
        self.assertNotIn(m["tagline"][-1], ".!?,;:")
        self.assertIsInstance(m["license"], list)
        for lic in m["license"]:
            self.assertRegex(lic, r"^SPDX:[A-Za-z0-9.+-]+$")
        self.assertRegex(m["blender_version_min"], SEMVER)
        self.assertGreaterEqual(tuple(map(int, m["blender_version_min"].split("."))), (4, 2, 0))

    def test_platforms_and_permissions(self):
        m = self.m
        self.assertTrue(set(m["platforms"]) <= PLATFORMS, m["platforms"])
        self.assertEqual(sorted(m["platforms"]), ["linux-x64", "windows-x64"])
        self.assertTrue(set(m["permissions"]) <= PERMISSIONS, m["permissions"])
        self.assertIn("files", m["permissions"])
        for reason in m["permissions"].values():
            self.assertTrue(reason)
            self.assertLessEqual(len(reason), 64)
            self.assertFalse(reason.endswith("."))

    def test_name_and_version_are_bl_infos(self):
        info = bl_info()
        self.assertEqual(self.m["name"], info["name"])
        self.assertEqual(self.m["version"], ".".join(map(str, info["version"])))
        self.assertGreaterEqual(info["blender"], (3, 4, 0))


if __name__ == "__main__":
    unittest.main()
