"""Checks a built TvMan.pdf: it opens with pdftotext, holds every text of the
program's string table and every fixed message text, and embeds every font
it uses (pdffonts).

    python3 manual/check_manual.py --pdf TvMan.pdf --source-dir REPO \
        --pdftotext pdftotext --pdffonts pdffonts

Line breaks fall where the page breaks a line, so the texts are compared
without white space. Exit 1, with what is missing, when the manual fails.
"""

import argparse
import re
import subprocess
import sys

import program_texts


def squeezed(text):
    return re.sub(r"\s+", "", text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("--pdf", "--source-dir", "--pdftotext", "--pdffonts"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()

    text = subprocess.run([args.pdftotext, "-enc", "UTF-8", args.pdf, "-"], check=True,
                          capture_output=True).stdout.decode("utf-8")
    pdf = squeezed(text)
    problems = []
    for name, number, entry in program_texts.string_table(args.source_dir):
        if squeezed(entry) not in pdf:
            problems.append(f"string {number} ({name}) is not in the manual: {entry!r}")
    for name, entry in program_texts.fixed_texts(args.source_dir).items():
        if squeezed(entry) not in pdf:
            problems.append(f"fixed text {name} is not in the manual: {entry!r}")

    # pdffonts: two heading lines, then one line a font whose "emb" column
    # (the fifth from the right) says yes or no.
    fonts = subprocess.run([args.pdffonts, args.pdf], check=True,
                           capture_output=True).stdout.decode("utf-8").splitlines()[2:]
    if not fonts:
        problems.append("pdffonts lists no font")
    for line in fonts:
        columns = line.split()
        if len(columns) < 6 or columns[-5] != "yes":
            problems.append(f"font not embedded: {line}")

    for problem in problems:
        print(f"check_manual: {problem}", file=sys.stderr)
    print(f"check_manual: {len(fonts)} fonts, all texts of the program checked, "
          f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
