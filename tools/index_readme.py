"""The package's long description: README.md as a package index page shows it.

The index renders the text away from the repository, where a relative target leads nowhere: a
picture with one is left out, a link with one keeps only its text. Fenced code is left alone.
Used by the build backend as the provider of the `readme` metadata field."""

import re
from pathlib import Path

# ![alt](target) or [text](target) whose target has no scheme (https:, mailto:) and is no #fragment.
RELATIVE = re.compile(r'(!?)\[([^\]]*)\]\((?![A-Za-z][A-Za-z0-9+.-]*:|#)[^)\s]*(?:\s+"[^"]*")?\)')


def for_index(text):
    lines, fenced = [], False
    for line in text.splitlines(keepends=True):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif not fenced:
            kept = RELATIVE.sub(lambda m: "" if m[1] else m[2], line)
            if line.strip() and not kept.strip():
                continue  # a line that held only pictures
            line = kept
        lines.append(line)
    return re.sub(r"\n{3,}", "\n\n", "".join(lines))


def dynamic_metadata(field, settings=None, project=None):
    if field != "readme" or settings:
        raise ValueError("provides the readme field only, with no settings")
    return {"content-type": "text/markdown", "text": for_index(Path("README.md").read_text(encoding="utf-8"))}
