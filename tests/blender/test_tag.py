"""The tag's properties against the module: defaults equal what Init
writes, labels are the tag's own panel strings, and the add-on registers and
unregisters cleanly."""

import json
import os
import re
import struct

import bpy

import kwtest
from kestrelwood import properties


def f32(v):
    return struct.unpack("f", struct.pack("f", v))[0]


class TagTest(kwtest.BlenderTestCase):
    def test_defaults_are_the_modules(self):
        # A tag written with no parameters gets Init's entries; saving writes
        # exactly those.
        scene = {"format": "kestrelwood-scene/1", "minFrame": 0, "maxFrame": 0,
                 "objects": [{"name": "Carrier", "tags": [{"type": "Kestrelwood"}]}]}
        path = kwtest.work_path("defaults", "bare.kwscene.json")
        with open(path, "w") as f:
            json.dump(scene, f)
        saved = path + ".saved.json"
        kwtest.run_program("run", path, "--frames", "0", "--save", saved)
        params = kwtest.load_json(saved)["objects"][0]["tags"][0]["params"]
        self.assertEqual(params.pop("START_RECORDED"), {"bool": False})

        kwtest.reset()
        tag = bpy.data.objects.new("x", None).kestrelwood
        for attr, param, *_ in properties.REALS:
            got = getattr(tag, attr)
            if param in params:
                self.assertEqual(f32(params.pop(param)["real"]), got, param)
            else:
                self.assertEqual(got, 0.0, f"{param} is not set by Init, so it reads as 0")
        for attr, param, *_ in properties.BOOLS:
            self.assertNotIn(param, params)
            self.assertFalse(getattr(tag, attr), param)
        for attr, param, *_ in properties.LINKS:
            self.assertNotIn(param, params)
            self.assertIsNone(getattr(tag, attr), param)
        self.assertEqual(params, {}, "Init wrote entries the add-on has no property for")
        self.assertFalse(tag.enabled)
        self.assertFalse(tag.start_recorded)
        # The float nearest 0.7854, not the float of pi/4.
        self.assertEqual(tag.avoid_angle, f32(0.7854))

    def test_labels_are_the_panels(self):
        path = os.path.join(kwtest.REPO, "res", "strings_us", "description", "Tkestrelwoodexp.str")
        with open(path) as f:
            strings = dict(re.findall(r'^\s*([A-Z_]+)\s+"([^"]*)";', f.read(), re.M))
        rna = bpy.types.Object.bl_rna.properties["kestrelwood"].fixed_type.properties
        for table in (properties.REALS, properties.LINKS, properties.BOOLS):
            for attr, param, label, *_ in table:
                self.assertEqual(rna[attr].name, strings[param], attr)

    def test_unregister_and_register_again(self):
        import kestrelwood
        kestrelwood.unregister()
        self.assertFalse(hasattr(bpy.types.Object, "kestrelwood"))
        self.assertFalse(hasattr(bpy.types, "KESTRELWOOD_OT_simulate"))
        kestrelwood.register()
        self.assertEqual(bpy.data.objects.new("y", None).kestrelwood.speed, 20.0)
