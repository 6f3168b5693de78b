"""The package's long description: README.md for a reader of a package index.

That reader wants what tintwell is, how to install it and how to use it, not how to work in this
repository: the sections about that (with their subsections) are left out. The index renders the
text away from the repository, where a relative target leads nowhere: a picture with one is left
out, a link with one keeps only its text. Fenced code is left alone.
Used by the build backend as the provider of the `readme` metadata field."""

import re
from pathlib import Path

# ![alt](target) or [text](target) whose target has no scheme (https:, mailto:) and is no #fragment.
RELATIVE = re.compile(r'(!?)\[([^\]]*)\]\((?![A-Za-z][A-Za-z0-9+.-]*:|#)[^)\s]*(?:\s+"[^"]*")?\)')
HEADING = re.compile(r"(#+) (.*)")
# The README's sections about working in the repository.
REPOSITORY_SECTIONS = ("Set-up", "Offline, on Debian 12", "On Debian 12", "Build", "Test")


def for_index(text, leave_out=REPOSITORY_SECTIONS):
    """`text` without the sections headed by a title in `leave_out`, pictures with relative targets
    and relative link targets."""
    lines, fenced, skipping = [], False, None
    for line in text.splitlines(keepends=True):
        heading = None if fenced else HEADING.fullmatch(line.rstrip("\n"))
        if heading and skipping is not None and len(heading[1]) <= skipping:
            skipping = None
        if heading and skipping is None and heading[2] in leave_out:
            skipping = len(heading[1])
        if line.lstrip().startswith("```"):
            fenced = not fenced
        if skipping is not None:
            continue
        if not fenced and not line.lstrip().startswith("```"):
            kept = RELATIVE.sub(lambda m: "" if m[1] else m[2], line)
            if line.strip() and not kept.strip():
                continue  # a line that held only pictures
            line = kept
        lines.append(line)
    return re.sub(r"\n{3,}", "\n\n", "".join(lines))


def dynamic_metadata(field, settings=None, project=None):
    if field != "readme" or settings:
        raise ValueError("provides the readme field only, with no settings")
    readme = Path("README.md").read_text(encoding="utf-8")
    # A section renamed in the README must not slip into the description unnoticed.
    titles = {m[2] for m in map(HEADING.fullmatch, readme.splitlines()) if m}
    if missing := [title for title in REPOSITORY_SECTIONS if title not in titles]:
        raise ValueError(f"README.md has no section {missing[0]!r}: update tools/index_readme.py")
    return {"content-type": "text/markdown", "text": for_index(readme)}
