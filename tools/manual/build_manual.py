#!/usr/bin/python3
"""Builds the user manual from docs/manual.md: a PDF (with ReportLab,
Debian's python3-reportlab) and an HTML page, for the plug-in's
"User Manual ..." item.

The Markdown is the small subset the manual uses: '#' and '##' headings,
paragraphs, '- ' lists (continued by indented lines), images on lines of
their own, **bold**, `code`.

    build_manual.py docs/manual.md OUTPUT_DIR
writes OUTPUT_DIR/Talvex_UserManual.pdf and OUTPUT_DIR/Talvex_UserManual.html
(with the pictures copied beside it).
"""
import html
import os
import re
import shutil
import sys


def blocks(lines):
    """Yields (kind, text) for headings, paragraphs, list items, images."""
    para = []
    item = None

    def flush():
        nonlocal para, item
        if item is not None:
            yield ("item", " ".join(item))
            item = None
        if para:
            yield ("para", " ".join(para))
            para = []

    for raw in lines:
        line = raw.rstrip("\n")
        stripped = line.strip()
        if not stripped:
            yield from flush()
            continue
        m = re.match(r"^(#{1,2}) (.*)$", line)
        if m:
            yield from flush()
            yield ("h%d" % len(m.group(1)), m.group(2))
            continue
        m = re.match(r"^!\[(.*)\]\((.*)\)$", stripped)
        if m:
            yield from flush()
            yield ("image", (m.group(1), m.group(2)))
            continue
        if line.startswith("- "):
            yield from flush()
            item = [line[2:].strip()]
            continue
        if item is not None and line.startswith("  "):
            item.append(stripped)
            continue
        if item is not None:
            yield from flush()
        para.append(stripped)
    yield from flush()


def inline_markup(text, bold_open, bold_close, code_open, code_close):
    text = html.escape(text, quote=False)
    text = re.sub(r"\*\*(.+?)\*\*", bold_open + r"\1" + bold_close, text)
    text = re.sub(r"`(.+?)`", code_open + r"\1" + code_close, text)
    return text


def build_pdf(items, base_dir, path):
    from reportlab.lib.pagesizes import A4
    from reportlab.lib.styles import getSampleStyleSheet
    from reportlab.lib.units import mm
    from reportlab.platypus import Image, ListFlowable, ListItem, Paragraph, SimpleDocTemplate, Spacer

    styles = getSampleStyleSheet()
    body = styles["BodyText"]
    body.fontSize = 10.5
    body.leading = 14
    story = []
    pending_list = []
    width = A4[0] - 40 * mm

    def end_list():
        if pending_list:
            story.append(ListFlowable([ListItem(p, leftIndent=12) for p in pending_list], bulletType="bullet",
                                      start="\u2022", leftIndent=12))
            pending_list.clear()

    for kind, value in items:
        if kind != "item":
            end_list()
        if kind == "h1":
            story.append(Paragraph(html.escape(value), styles["Title"]))
        elif kind == "h2":
            story.append(Paragraph(html.escape(value), styles["Heading2"]))
        elif kind == "para":
            story.append(Paragraph(inline_markup(value, "<b>", "</b>", "<font face='Courier'>", "</font>"), body))
        elif kind == "item":
            pending_list.append(Paragraph(inline_markup(value, "<b>", "</b>", "<font face='Courier'>", "</font>"),
                                          body))
        elif kind == "image":
            alt, src = value
            picture = Image(os.path.join(base_dir, src))
            scale = min(1.0, width / picture.imageWidth)
            picture.drawWidth = picture.imageWidth * scale
            picture.drawHeight = picture.imageHeight * scale
            story.append(Spacer(1, 4))
            story.append(picture)
            story.append(Paragraph("<i>%s</i>" % html.escape(alt), styles["Italic"]))
            story.append(Spacer(1, 6))
    end_list()
    doc = SimpleDocTemplate(path, pagesize=A4, leftMargin=20 * mm, rightMargin=20 * mm, topMargin=18 * mm,
                            bottomMargin=18 * mm, title="Talvex User Manual", author="Talvex",
                            invariant=1)
    doc.build(story)


def build_html(items, base_dir, out_dir, path):
    parts = ["<!DOCTYPE html>", "<html><head><meta charset='utf-8'><title>Talvex User Manual</title>",
             "<style>body{font-family:sans-serif;max-width:52em;margin:2em auto;line-height:1.45}"
             "img{max-width:100%}</style></head><body>"]
    in_list = False
    for kind, value in items:
        if kind != "item" and in_list:
            parts.append("</ul>")
            in_list = False
        if kind in ("h1", "h2"):
            parts.append("<%s>%s</%s>" % (kind, html.escape(value), kind))
        elif kind == "para":
            parts.append("<p>%s</p>" % inline_markup(value, "<b>", "</b>", "<code>", "</code>"))
        elif kind == "item":
            if not in_list:
                parts.append("<ul>")
                in_list = True
            parts.append("<li>%s</li>" % inline_markup(value, "<b>", "</b>", "<code>", "</code>"))
        elif kind == "image":
            alt, src = value
            target = os.path.join(out_dir, src)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(os.path.join(base_dir, src), target)
            parts.append("<figure><img src='%s' alt='%s'><figcaption>%s</figcaption></figure>"
                         % (html.escape(src), html.escape(alt), html.escape(alt)))
    if in_list:
        parts.append("</ul>")
    parts.append("</body></html>")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(parts) + "\n")


def main():
    if len(sys.argv) != 3:
        sys.stderr.write("usage: build_manual.py MANUAL.md OUTPUT_DIR\n")
        return 2
    source, out_dir = sys.argv[1], sys.argv[2]
    os.makedirs(out_dir, exist_ok=True)
    with open(source, encoding="utf-8") as f:
        items = list(blocks(f.readlines()))
    base_dir = os.path.dirname(os.path.abspath(source))
    build_html(items, base_dir, out_dir, os.path.join(out_dir, "Talvex_UserManual.html"))
    build_pdf(items, base_dir, os.path.join(out_dir, "Talvex_UserManual.pdf"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
