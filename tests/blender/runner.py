"""Runs one test file's unittest cases inside Blender and exits with their
result: 0 when all passed, 1 otherwise.

The add-on is imported from the repository's blender/ folder and registered
first, unless the test file sets REGISTER_ADDON = False.
"""

import importlib.util
import os
import sys
import unittest

here = os.path.dirname(os.path.abspath(__file__))
repo = os.path.dirname(os.path.dirname(here))
sys.path.insert(0, os.path.join(repo, "blender"))
sys.path.insert(0, here)

test_file = sys.argv[sys.argv.index("--") + 1]
found = importlib.util.spec_from_file_location(os.path.splitext(os.path.basename(test_file))[0], test_file)
module = importlib.util.module_from_spec(found)
found.loader.exec_module(module)
if getattr(module, "REGISTER_ADDON", True):
    import kestrelwood
    kestrelwood.register()

suite = unittest.defaultTestLoader.loadTestsFromModule(module)
result = unittest.TextTestRunner(stream=sys.stdout, verbosity=2).run(suite)
sys.stdout.flush()
sys.exit(0 if result.wasSuccessful() else 1)
