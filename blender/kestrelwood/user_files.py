"""Where the add-on writes its own files (the ground files of Simulate, a
runnable copy of its program): folders the user can write to, never the
add-on's own folder, which may be read-only or replaced by an update."""

import os
import tempfile

import bpy


def folder(name):
    """A folder named name of the add-on's user files, made when missing: the
    extension's own user folder on Blender 4.2+, else one beside the user's
    scripts, else one in the system's temporary folder."""
    try:
        return bpy.utils.extension_path_user(__package__, path=name, create=True)
    except (AttributeError, ValueError, OSError):
        pass  # a Blender before 4.2, or installed as a legacy add-on
    try:
        path = bpy.utils.user_resource('SCRIPTS', path=os.path.join("kestrelwood-data", name), create=True)
        if path and os.access(path, os.W_OK):
            return path
    except (ValueError, OSError):
        pass
    # Shared on POSIX: one folder per user (Windows gives each user a temporary folder of their own).
    mine = f"kestrelwood-{os.getuid()}" if hasattr(os, "getuid") else "kestrelwood"
    path = os.path.join(tempfile.gettempdir(), mine, name)
    os.makedirs(path, exist_ok=True)
    return path
