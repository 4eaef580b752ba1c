"""Builds the operator's manual TvMan.pdf.

    python3 manual/make_manual.py --source-dir REPO --version N.NN \
        --markdown markdown_py --weasyprint weasyprint \
        --font GOTHIC.ttf --mono-font MONO.ttf --work-dir DIR --output TvMan.pdf

manual/TvMan.md is the text; @VERSION@ in it becomes the release version and
the paragraph @MESSAGES@ the list of every text the program holds, made from
the program's own sources (program_texts.py) and the explanations in
manual/messages.txt. A text without an explanation, or an explanation of a
text the program does not hold, stops the build. Markdown becomes HTML with
Python-Markdown's markdown_py, HTML becomes PDF with WeasyPrint, which embeds
the fonts. The PDF is written under a temporary name and renamed when done.
"""

import argparse
import html
import os
import shutil
import subprocess
import sys
from pathlib import Path

import program_texts

# Where the operator meets a text, in the manual's words.
KINDS = {
    "stop": "メッセージボックス（停止アイコン、[OK] ボタン）",
    "note": "メッセージボックス（アイコンなし、[OK] ボタン）",
    "yesno": "確認（情報アイコン、[はい]／[いいえ] ボタン）",
    "okcancel": "確認（アイコンなし、[OK]／[キャンセル] ボタン）",
    "status": "状態表示欄",
    "screen": "画面の文字",
    "log": "作成ログ（TVLOG.TXT）",
    "none": "画面には表示されない",
}

# The groups of the list, in order.
GROUPS = [
    ("メッセージボックスと確認", ("stop", "note", "yesno", "okcancel")),
    ("状態表示欄", ("status",)),
    ("画面の文字", ("screen",)),
    ("作成ログの文字", ("log",)),
    ("表示されない文字列", ("none",)),
]

# Kinds that ask something of the operator need a "what to do".
NEEDS_ACTION = {"stop", "note", "yesno", "okcancel"}


class ManualError(Exception):
    pass


def read_explanations(path):
    """{name: {where, meaning, action}} from manual/messages.txt."""
    blocks = {}
    current = None
    for number, raw in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
            if current in blocks:
                raise ManualError(f"{path.name}:{number}: {current} is explained twice")
            blocks[current] = {}
            continue
        key, colon, value = line.partition(":")
        if current is None or not colon or key not in ("where", "meaning", "action"):
            raise ManualError(f"{path.name}:{number}: not understood: {raw}")
        blocks[current][key] = value.strip()
    for name, block in blocks.items():
        if block.get("where") not in KINDS:
            raise ManualError(f"{path.name}: [{name}] needs where: one of {', '.join(KINDS)}")
        if not block.get("meaning"):
            raise ManualError(f"{path.name}: [{name}] needs meaning:")
        if block["where"] in NEEDS_ACTION and not block.get("action"):
            raise ManualError(f"{path.name}: [{name}] is a message and needs action:")
    return blocks


def program_entries(source_dir, explanations):
    """Every text of the program with its explanation: (number, text, block)."""
    entries = []
    named = set()
    for name, number, text in program_texts.string_table(source_dir):
        if name not in explanations:
            raise ManualError(f"manual/messages.txt explains no [{name}] ({number}): {text!r}")
        entries.append((str(number), text, explanations[name]))
        named.add(name)
    # A fixed text stands alone ([kName]) or with what the program puts after
    # it ([kName+1] for the step number).
    fixed = program_texts.fixed_texts(source_dir)
    for constant, text in fixed.items():
        variants = [n for n in explanations if n == constant or n.startswith(constant + "+")]
        if not variants:
            raise ManualError(f"manual/messages.txt explains no [{constant}]: {text!r}")
        for name in variants:
            suffix = name[len(constant) + 1:] if "+" in name else ""
            entries.append(("―", text + suffix, explanations[name]))
            named.add(name)
    unknown = sorted(set(explanations) - named)
    if unknown:
        raise ManualError("manual/messages.txt explains texts the program does not hold: "
                          + ", ".join(unknown))
    return entries


def render_messages(entries):
    parts = []
    for title, kinds in GROUPS:
        chosen = [e for e in entries if e[2]["where"] in kinds]
        if not chosen:
            continue
        parts.append(f"<h3>{html.escape(title)}</h3>")
        for number, text, block in chosen:
            shown = text.replace("\r\n", "\n")
            parts.append('<div class="message">')
            parts.append(f'<p class="message-head"><span class="message-id">{number}</span>'
                         f'<span class="message-kind">{html.escape(KINDS[block["where"]])}'
                         "</span></p>")
            parts.append(f'<p class="message-text">{html.escape(shown)}</p>')
            parts.append('<p class="message-meaning"><span class="label">意味</span>'
                         f'{html.escape(block["meaning"])}</p>')
            if block.get("action"):
                parts.append('<p class="message-action"><span class="label">対処</span>'
                             f'{html.escape(block["action"])}</p>')
            parts.append("</div>")
    return "\n".join(parts)


def build(args):
    source = Path(args.source_dir)
    manual = source / "manual"
    work = Path(args.work_dir)
    work.mkdir(parents=True, exist_ok=True)

    messages = render_messages(
        program_entries(source, read_explanations(manual / "messages.txt")))

    text = (manual / "TvMan.md").read_text(encoding="utf-8").replace("@VERSION@", args.version)
    markdown = work / "TvMan.md"
    markdown.write_text(text, encoding="utf-8")
    body = subprocess.run(
        [args.markdown, "-x", "tables", "-x", "toc", "-x", "attr_list", "-x", "md_in_html",
         "-x", "fenced_code",
         "-o", "html", "-e", "utf-8", str(markdown)],
        check=True, capture_output=True).stdout.decode("utf-8")
    marker = "<p>@MESSAGES@</p>"
    if body.count(marker) != 1:
        raise ManualError("manual/TvMan.md needs the paragraph @MESSAGES@ exactly once")
    body = body.replace(marker, messages)

    css = (manual / "tvman.css").read_text(encoding="utf-8")
    css = css.replace("@FONT@", Path(args.font).resolve().as_uri())
    css = css.replace("@MONO_FONT@", Path(args.mono_font).resolve().as_uri())
    (work / "tvman.css").write_text(css, encoding="utf-8")
    shutil.copyfile(source / "docs" / "windows-ready-dialog.png", work / "windows-ready-dialog.png")
    page = ('<!DOCTYPE html>\n<html lang="ja">\n<head>\n<meta charset="utf-8">\n'
            f"<title>VELDRA {html.escape(args.version)} 操作説明書</title>\n"
            '<meta name="author" content="VELDRA developers">\n'
            '<link rel="stylesheet" href="tvman.css">\n</head>\n<body>\n'
            f"{body}\n</body>\n</html>\n")
    page_path = work / "TvMan.html"
    page_path.write_text(page, encoding="utf-8")

    output = Path(args.output)
    partial = output.with_name(output.name + ".part")
    subprocess.run([args.weasyprint, "--quiet", str(page_path), str(partial)], check=True)
    os.replace(partial, output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--source-dir", "--version", "--markdown", "--weasyprint", "--font",
                   "--mono-font", "--work-dir", "--output"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    try:
        build(args)
    except (ManualError, ValueError) as error:
        print(f"make_manual: {error}", file=sys.stderr)
        return 1
    except subprocess.CalledProcessError as error:
        stderr = error.stderr.decode("utf-8", "replace") if error.stderr else ""
        print(f"make_manual: {error}\n{stderr}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
