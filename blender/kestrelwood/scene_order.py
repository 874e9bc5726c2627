"""What a Blender scene's objects are to the tag: the carriers of enabled
tags, and each tag's agents, in the order the tag numbers them.

Children are taken in order of name as the outliner lists them (case
ignored, runs of digits by value), since Blender's own child order is no
order a user can see or set.
"""

import re


def name_key(name):
    """Sort key of the outliner's order: case ignored, runs of digits by value."""
    parts = re.split(r"(\d+)", name.casefold())
    return [int(p) if p.isdigit() else p for p in parts] + [name]


def children_in_scene(obj, scene):
    """Direct children of obj that belong to the scene, in order of name."""
    members = scene.objects
    return sorted((c for c in obj.children if members.get(c.name) == c), key=lambda o: name_key(o.name))


def carriers(scene):
    """Objects of the scene with an enabled tag, in the order their tags are
    evaluated (depth-first over the hierarchy, siblings in order of name)."""
    found = []

    def walk(obj):
        if obj.kestrelwood.enabled:
            found.append(obj)
        for child in children_in_scene(obj, scene):
            walk(child)

    for root in roots(scene, scene.objects):
        walk(root)
    return found


def agents_of(tag, scene):
    group = tag.agents_group
    if group is None or scene.objects.get(group.name) != group:
        return []
    return children_in_scene(group, scene)


def roots(scene, objects):
    members = scene.objects
    roots = [o for o in objects if o.parent is None or members.get(o.parent.name) != o.parent]
    return sorted(roots, key=lambda o: name_key(o.name))
