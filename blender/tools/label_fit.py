"""Whether every text of the Kestrelwood panel fits the place Blender gives
it, for the panel's picture (pictures.py). Run inside Blender with a window.

Blender cuts a text that is wider than its button ("Recor..."), and says
nothing. This reads what the panel drew (its layout's introspection: every
button's text, in rows and columns) and measures each text in the UI's font
against the width its row gives it: the region's width, less the panel's
and boxes' margins, shared among the buttons of a row.
"""

import blf
import bpy

# Pixels at a UI scale of 1 (Blender's widget unit is 20): the panel's
# margins on each side, a box's inner margin, the text's margins inside a
# button, an icon, a number field's arrows (each a third of the field at
# most) and the margin Blender keeps before it cuts a number's label.
# Checked on Blender 3.4 against panels whose cut texts were seen: a text
# within a few pixels of its place may be taken for cut.
PANEL_MARGIN = 12
BOX_MARGIN = 8
TEXT_MARGIN = 4
ICON = 20
NUMBER_ARROW = 14
NUMBER_CLIP_MARGIN = 6
# The introspection's button types: a number field, a text field. It does not
# say which buttons have an icon: all but these are taken to.
NUMBER, TEXT = 3072, 1536

_seen = {}


def watch(panel="OBJECT_PT_kestrelwood"):
    """Keeps what the panel's next drawings lay out."""
    def keep(self, context):
        _seen["layout"] = self.layout.introspect()
        _seen["width"] = context.region.width
    getattr(bpy.types, panel).append(keep)


def _text_width(text, scale):
    style = bpy.context.preferences.ui_styles[0].widget
    blf.size(0, style.points * scale)  # 72 dpi; 4.0 takes no dpi
    return blf.dimensions(0, text)[0]


def _texts(item):
    return [item["draw_string"]] if item.get("draw_string") else [t for c in item.get("items", ()) for t in _texts(c)]


def _walk(item, width, scale, out):
    kind = item.get("type")
    children = item.get("items")
    if children is not None:
        if kind == "LAYOUT_BOX":
            width -= 2 * BOX_MARGIN * scale
        if kind == "LAYOUT_SPLIT" and len(children) == 2:
            # A property split: the label takes 0.4 of the width.
            _walk(children[0], 0.4 * width, scale, out)
            _walk(children[1], 0.6 * width, scale, out)
            return
        if kind == "LAYOUT_ROW" and children:
            # Items without text (decorators) take an icon's width; the
            # others share the rest.
            shown = [c for c in children if _texts(c) or c.get("rna") or c.get("operator")]
            share = (width - ICON * scale * (len(children) - len(shown))) / max(1, len(shown))
            for child in shown:
                _walk(child, share, scale, out)
            return
        for child in children:
            _walk(child, width, scale, out)
        return
    text = item.get("draw_string", "")
    if not text:
        return
    if kind == NUMBER:
        margins = 2 * min(width / 3, NUMBER_ARROW * scale) + NUMBER_CLIP_MARGIN * scale
    else:
        margins = 2 * TEXT_MARGIN * scale + (0.0 if kind == TEXT else ICON * scale)
    need = _text_width(text, scale) + margins
    if need > width:
        out.append((text, need, width))


def cut_texts():
    """(text, pixels it needs, pixels it has) of every text that would be cut."""
    scale = bpy.context.preferences.system.ui_scale
    out = []
    width = _seen["width"] - 2 * PANEL_MARGIN * scale
    for item in _seen["layout"]:
        _walk(item, width, scale, out)
    return out
