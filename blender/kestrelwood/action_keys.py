"""Where an object's F-curves live, as each Blender keeps them.

Up to 4.3 an action holds its F-curves and their groups itself. 4.4 gave
actions slots: the curves of one animated object are in the channel bag of
its slot, in the action's keyframe strip, and `Action.fcurves` reaches the
first slot only; 5.0 removed `Action.fcurves` and `Action.groups`. A channel
bag and an old action both have `fcurves` and `groups`, so the rest of the
add-on works on what `channels` gives. The choice is made by feature (does
the action have slots?), never by version number; only the first branch runs
on the Blender our tests run (3.4).
"""


def channels(obj, ensure=False):
    """What holds obj's F-curves and groups in its action (`fcurves`,
    `groups`), or None when it has none. With ensure, a slot, layer, strip
    and channel bag are made where missing (the action must be assigned)."""
    ad = obj.animation_data
    action = ad.action if ad is not None else None
    if action is None:
        return None
    if not hasattr(action, "slots"):
        return action
    # Blender 4.4 and later: the channel bag of the object's slot. Assigning
    # an action may pick no slot, so one is made for the object then.
    slot = ad.action_slot
    if slot is None:
        if not ensure:
            return None
        slot = action.slots.new(id_type='OBJECT', name=obj.name)
        ad.action_slot = slot
    if len(action.layers) == 0 or len(action.layers[0].strips) == 0:
        if not ensure:
            return None
        layer = action.layers[0] if len(action.layers) else action.layers.new("Layer")
        layer.strips.new(type='KEYFRAME')
    return action.layers[0].strips[0].channelbag(slot, ensure=ensure)


def all_curves(action):
    """Every F-curve of an action, whatever object or slot it keys."""
    if hasattr(action, "layers"):
        # 4.4 and later keep keys in the channel bags of the layers' strips.
        return [fc for layer in action.layers for strip in layer.strips
                for bag in getattr(strip, "channelbags", ()) for fc in bag.fcurves]
    return list(action.fcurves)


def curve_count(obj):
    """How many F-curves obj's action has for it."""
    bag = channels(obj)
    return len(bag.fcurves) if bag is not None else 0


def new_curve(bag, data_path, index, group_name):
    """A new F-curve in bag, in the group of that name. The argument that
    names the group changed over the versions (action_group, group_name);
    the function's own parameters say which one this Blender takes."""
    params = bag.fcurves.bl_rna.functions["new"].parameters
    if "action_group" in params:
        return bag.fcurves.new(data_path, index=index, action_group=group_name)
    if "group_name" in params:
        return bag.fcurves.new(data_path, index=index, group_name=group_name)
    fc = bag.fcurves.new(data_path, index=index)
    fc.group = bag.groups.get(group_name) or bag.groups.new(group_name)
    return fc
