"""What the add-on says: one line per warning or result, naming the object
that carries the tag when there is one, and the warnings of a run kept for
the panel with their keys.

A warning's key is stable (the program's keys are listed with its command
line; the add-on's own follow the same form); its text is for people.
"""

from typing import NamedTuple, Optional


class Note(NamedTuple):
    carrier: Optional[str]  # the name of the object carrying the tag, or None for the scene
    key: str
    text: str


def about(carrier, text):
    """A line about the tag on carrier (an object or its name), or about the
    whole scene when carrier is None."""
    name = getattr(carrier, "name", carrier)
    return f"Kestrelwood on '{name}': {text}" if name else f"Kestrelwood: {text}"


def listed(names, most=5):
    """Names in quotes, the first few of them."""
    shown = ", ".join(f"'{n}'" for n in names[:most])
    return shown + (f" and {len(names) - most} more" if len(names) > most else "")


def counted(n, one, many=None):
    return f"{n} {one if n == 1 else (many or one + 's')}"
