"""The add-on's key writing for Blender 4.4+ (slotted actions, channel bags)
and 5.0 (no Action.fcurves), which no Blender here runs: action_keys driven
through stand-ins that have exactly the API blender-api.md describes for
those versions, and through the 3.4 shape. Needs no Blender:
python3 test_action_keys.py."""

import importlib.util
import os
import types
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location(
    "action_keys", os.path.join(HERE, "..", "..", "blender", "kestrelwood", "action_keys.py"))
action_keys = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(action_keys)


class Collection(list):
    def get(self, name):
        return next((x for x in self if x.name == name), None)


class Curves(Collection):
    """F-curves whose new() takes the group under the name given (or none)."""

    def __init__(self, group_arg):
        super().__init__()
        params = {"data_path": 0, "index": 0, "fcurve": 0}
        if group_arg:
            params[group_arg] = 0
        self.group_arg = group_arg
        self.bl_rna = types.SimpleNamespace(functions={"new": types.SimpleNamespace(parameters=params)})

    def new(self, data_path, *, index=0, **group):
        assert set(group) <= {self.group_arg}, f"new() takes no {set(group)}"
        fc = types.SimpleNamespace(data_path=data_path, array_index=index, group=None,
                                   group_given=group.get(self.group_arg))
        self.append(fc)
        return fc


class Groups(Collection):
    def new(self, name):
        g = types.SimpleNamespace(name=name)
        self.append(g)
        return g


class Bag:
    def __init__(self, group_arg):
        self.fcurves, self.groups = Curves(group_arg), Groups()


class Strip:
    def __init__(self, group_arg):
        self.bags, self.group_arg = {}, group_arg

    def channelbag(self, slot, ensure=False):
        if id(slot) not in self.bags and ensure:
            self.bags[id(slot)] = Bag(self.group_arg)
        return self.bags.get(id(slot))


class SlottedAction:
    """An action of Blender 4.4 or later; 5.0 without fcurves and groups."""

    def __init__(self, group_arg):
        outer = self
        self.group_arg = group_arg

        class Slots(Collection):
            def new(self, id_type, name):
                slot = types.SimpleNamespace(id_type=id_type, name=name)
                self.append(slot)
                return slot

        class Strips(Collection):
            def new(self, type):
                assert type == 'KEYFRAME'
                self.append(Strip(outer.group_arg))
                return self[-1]

        class Layers(Collection):
            def new(self, name):
                self.append(types.SimpleNamespace(name=name, strips=Strips()))
                return self[-1]

        self.slots, self.layers = Slots(), Layers()


def animated(action, slot=None):
    ad = types.SimpleNamespace(action=action, action_slot=slot)
    return types.SimpleNamespace(name="Agent 1", animation_data=ad)


class ActionKeysTest(unittest.TestCase):
    def test_before_slots_the_action_holds_the_curves(self):
        old = types.SimpleNamespace(fcurves=Curves("action_group"), groups=Groups())
        obj = animated(old)
        self.assertIs(action_keys.channels(obj, ensure=True), old)
        fc = action_keys.new_curve(old, "location", 2, "Kestrelwood")
        self.assertEqual((fc.data_path, fc.array_index, fc.group_given), ("location", 2, "Kestrelwood"))
        self.assertEqual(action_keys.curve_count(obj), 1)
        self.assertIsNone(action_keys.channels(types.SimpleNamespace(animation_data=None)))

    def test_a_slotted_action_gets_a_slot_layer_strip_and_bag_for_the_object(self):
        for group_arg in ("", "group_name"):  # 4.4, 5.0
            with self.subTest(group_arg=group_arg):
                action = SlottedAction(group_arg)
                obj = animated(action)
                self.assertIsNone(action_keys.channels(obj))
                self.assertEqual(action_keys.curve_count(obj), 0)
                bag = action_keys.channels(obj, ensure=True)
                slot = obj.animation_data.action_slot
                self.assertEqual((slot.id_type, slot.name), ('OBJECT', "Agent 1"))
                self.assertEqual(len(action.layers), 1)
                self.assertEqual(len(action.layers[0].strips), 1)
                self.assertIs(action_keys.channels(obj), bag)
                for i in range(3):
                    fc = action_keys.new_curve(bag, "rotation_euler", i, "Kestrelwood")
                    if group_arg:
                        self.assertEqual(fc.group_given, "Kestrelwood")
                    else:
                        self.assertIs(fc.group, bag.groups.get("Kestrelwood"))
                self.assertEqual(len(bag.groups), 0 if group_arg else 1)
                self.assertEqual(action_keys.curve_count(obj), 3)


if __name__ == "__main__":
    unittest.main()
