"""python3 -m kvax list FILE | quicklook FILE -o PICTURE.png [--tag T | --section N]

list       the file's form and one line per section (type, grid, K, L, tag, version,
           byte offset), read without the values
quicklook  a PNG of one section (the first, or the first complex section tagged T, or
           section N): amplitude and phase maps side by side for complex values, a map
           of the values for the other element types, each with its colour bar; row 1
           of the grid at the bottom, cells and rows counted from 1; cells of complex
           zero have no phase and are left blank

Exit status 0 when done, 1 with a message on standard error otherwise.
"""

from __future__ import annotations

import argparse
import sys

import kvax


def _layout_options(p):
    p.add_argument("--formatted", action="store_true", default=None, help="read the file as text")
    p.add_argument("--unformatted", dest="formatted", action="store_false", help="read it as binary records")
    p.add_argument("-BE", "--big-endian", dest="big_endian", action="store_true", default=None,
                   help="binary records in big-endian byte order")
    p.add_argument("-l", "--tag-length", dest="tag_length", type=int, help="tag length of the file")


def _layout(args):
    return {"formatted": args.formatted, "big_endian": args.big_endian, "tag_length": args.tag_length}


def list_file(path, layout) -> list[str]:
    """The lines of `python3 -m kvax list`."""
    info = kvax.describe(path, **layout)
    order = ", big-endian" if info.big_endian else ", little-endian" if not info.formatted else ""
    lines = [f"{path}: {info.representation}{order}, tag length {info.tag_length}",
             f"{'section':>7}  type  grid  {'K':>8}  {'L':>8}  {'tag':<{max(3, info.tag_length)}}  "
             f"{'version':>10}  {'offset':>12}"]
    for s in kvax.list(path, **{**layout, "formatted": info.formatted, "big_endian": info.big_endian,
                                "tag_length": info.tag_length}):
        tag = "" if s.tag is None else s.tag
        version = "" if s.version is None else str(s.version)
        lines.append(f"{s.index:>7}  {s.element:<4}  {s.grid:<4}  {s.k:>8}  {s.l:>8}  "
                     f"{tag:<{max(3, info.tag_length)}}  {version:>10}  {s.offset:>12}")
    return lines


def quicklook(path, picture, *, tag=None, section=None, width=1200, height=450, layout=None):
    """Writes the picture of one section (see the module's text) and returns the Section."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    import numpy as np

    layout = layout or {}
    if tag is not None:
        s = kvax.read(path, tag=tag, **layout)
    else:
        sections = kvax.read(path, **layout)
        n = 1 if section is None else section
        if not 1 <= n <= len(sections):
            raise kvax.DataError(f"{path}: no section {n} (the file holds {len(sections)})")
        s = sections[n - 1]
    dpi = 100
    title = f"{path}: {s.element} {s.grid} {s.k} x {s.l}"
    if s.element == "CMPX":
        title += f", {s.tag.rstrip()} version {s.version}"
        amplitude = np.abs(s.values)
        # Cells of no amplitude (land) have no phase: left blank.
        phase = np.where(amplitude > 0, np.degrees(np.angle(s.values)), np.nan)
        panels = [("amplitude", amplitude, "viridis"), ("phase (degrees)", phase, "twilight")]
    else:
        panels = [("values", s.values.astype(np.float64), "viridis")]
    fig, axes = plt.subplots(1, len(panels), figsize=(width / dpi, height / dpi), dpi=dpi, squeeze=False)
    for ax, (name, values, cmap) in zip(axes[0], panels):
        image = ax.imshow(values, origin="lower", cmap=cmap, aspect="auto", interpolation="nearest",
                          extent=(0.5, s.k + 0.5, 0.5, s.l + 0.5))
        ax.set_title(name)
        ax.set_xlabel("cell")
        ax.set_ylabel("row")
        fig.colorbar(image, ax=ax)
    fig.suptitle(title)
    fig.savefig(picture, dpi=dpi, format="png")
    plt.close(fig)
    return s


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m kvax", description="kvax grid files")
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("list", help="list the sections of a file")
    p.add_argument("file")
    _layout_options(p)
    p = sub.add_parser("quicklook", help="a PNG of one section")
    p.add_argument("file")
    p.add_argument("-o", "--output", required=True, help="the PNG to write")
    which = p.add_mutually_exclusive_group()
    which.add_argument("--tag", help="the first complex section with this tag")
    which.add_argument("--section", type=int, help="section number (1 for the first)")
    p.add_argument("--size", default="1200x450", help="picture size in pixels, WIDTHxHEIGHT")
    _layout_options(p)
    args = parser.parse_args(argv)
    try:
        if args.command == "list":
            print("\n".join(list_file(args.file, _layout(args))))
        else:
            width, _, height = args.size.partition("x")
            quicklook(args.file, args.output, tag=args.tag, section=args.section,
                      width=int(width), height=int(height), layout=_layout(args))
    except (kvax.Error, ValueError, OSError) as e:
        print(f"kvax: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
