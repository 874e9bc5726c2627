"""Agents and the ground: the tag puts each agent's origin on the terrain,
so an agent whose origin stands off it (a cone's origin at its middle) jumps
there on the first frame. Record start says so; "Drop agents onto ground"
moves the origins there first.

The ground under an agent is found as the tag looks for it: along the
vertical through the agent's origin, above it first, then below, on the
terrain as Blender evaluates it (its modifiers applied).
"""

from mathutils import Vector

# Farther than this (in the terrain's own units) is no ground.
REACH = 1.0e6


def ground_below(terrain, depsgraph, point):
    """The world point of the ground on the vertical through point, or None."""
    evaluated = terrain.evaluated_get(depsgraph)
    inverse = evaluated.matrix_world.inverted_safe()
    origin = inverse @ point
    for direction in (Vector((0.0, 0.0, 1.0)), Vector((0.0, 0.0, -1.0))):
        local_direction = (inverse.to_3x3() @ direction).normalized()
        hit, location, _normal, _face = evaluated.ray_cast(origin, local_direction, distance=REACH)
        if hit:
            return evaluated.matrix_world @ location
    return None


def heights(tag, agents, depsgraph):
    """(agent, height of its origin above the ground) for the agents over
    the tag's terrain; negative below it."""
    out = []
    if tag.terrain is None or tag.terrain.type != 'MESH':
        return out
    for agent in agents:
        origin = agent.matrix_world.translation
        ground = ground_below(tag.terrain, depsgraph, origin)
        if ground is not None:
            out.append((agent, origin.z - ground.z))
    return out


def off_ground(tag, agents, depsgraph):
    """The agents whose origins stand off the ground by more than a tenth
    of the repulsion radius, farthest first, with their heights."""
    limit = 0.1 * tag.repulsion_radius
    found = [(a, h) for a, h in heights(tag, agents, depsgraph) if abs(h) > limit]
    return sorted(found, key=lambda ah: -abs(ah[1]))


def drop(tag, agents, depsgraph):
    """Moves every agent over the terrain so that its origin is on the
    ground; returns how many moved."""
    moved = 0
    for agent, height in heights(tag, agents, depsgraph):
        if height != 0.0:
            world = agent.matrix_world.copy()
            world.translation.z -= height
            agent.matrix_world = world
            moved += 1
    return moved
