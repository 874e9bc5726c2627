"""The add-on's one error: what went wrong, in one line that says what to do."""


class Problem(Exception):
    """A scene that cannot be written, a program that cannot be found or
    failed, a file that cannot be written; the text is for the user."""
