# SPDX-License-Identifier: MIT
"""Checks the documents against the tree: every relative link and #anchor in README.md, docs/
and the package READMEs resolves, and the presets docs/building.md lists under "Presets" are
exactly the configure presets in CMakePresets.json.

usage: check_docs.py SOURCE_DIR
"""
import json
import re
import sys
from pathlib import Path

root = Path(sys.argv[1]).resolve()
problems = []

documents = [root / "README.md", *sorted((root / "docs").glob("*.md")),
             *sorted((root / "bindings").glob("*/README.md")),
             *sorted((root / "bindings").glob("*/Documentation~/*.md"))]


def strip_code(text):
    """Fenced blocks and inline code hold examples, not links."""
    text = re.sub(r"^```.*?^```", "", text, flags=re.S | re.M)
    return re.sub(r"`[^`\n]*`", "", text)


def anchors(path):
    """The anchors GitHub gives a file's headings: lower case, punctuation dropped, spaces as
    hyphens, a repeated heading numbered."""
    seen = {}
    found = set()
    text = re.sub(r"^```.*?^```", "", path.read_text(encoding="utf-8"), flags=re.S | re.M)
    for heading in re.findall(r"^#{1,6}\s+(.+?)\s*#*\s*$", text, flags=re.M):
        slug = re.sub(r"[^\w\- ]", "", heading.replace("`", "").lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        found.add(slug if n == 0 else f"{slug}-{n}")
    found.update(re.findall(r'<a (?:name|id)="([^"]+)"', text))
    return found


for doc in documents:
    if not doc.exists():
        problems.append(f"{doc.relative_to(root)}: missing")
        continue
    text = strip_code(doc.read_text(encoding="utf-8"))
    targets = re.findall(r"!?\[[^\]]*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)", text)
    targets += re.findall(r'(?:src|href)="([^"]+)"', text)
    for target in targets:
        if re.match(r"^[a-z][a-z0-9+.-]*:", target):  # http:, https:, mailto:
            continue
        file_part, _, anchor = target.partition("#")
        where = doc if not file_part else (doc.parent / file_part).resolve()
        name = f"{doc.relative_to(root)}: link {target}"
        if not where.exists():
            problems.append(f"{name}: {file_part} does not exist")
        elif root not in where.parents and where != root:
            problems.append(f"{name}: points outside the tree")
        elif anchor and (where.suffix != ".md" or anchor not in anchors(where)):
            problems.append(f"{name}: no heading gives #{anchor}")

# The presets the building page lists: the first column of the table under "## Presets".
building = (root / "docs" / "building.md").read_text(encoding="utf-8")
section = re.search(r"^## Presets\n(.*?)(?=^## |\Z)", building, flags=re.S | re.M)
listed = set(re.findall(r"^\| `([\w-]+)` \|", section.group(1), flags=re.M)) if section else set()
presets = {p["name"] for p in json.loads((root / "CMakePresets.json").read_text())["configurePresets"]
           if not p.get("hidden")}
if listed != presets:
    problems.append("docs/building.md lists presets "
                    f"{sorted(listed)}, CMakePresets.json has {sorted(presets)}: "
                    f"missing {sorted(presets - listed)}, extra {sorted(listed - presets)}")

for p in problems:
    print(f"FAIL: {p}")
print(f"checked {len(documents)} documents and {len(presets)} presets: {len(problems)} problems")
sys.exit(1 if problems else 0)
