#!/usr/bin/env bash
# check_readers.sh BUILD_DIR
#
# Checks the example readers (kvax_read.py, read_unformatted.f90) against kvax itself:
# files written by BUILD_DIR/bench/make_grid and converted by BUILD_DIR/kvax.out, read
# back by the readers and compared bit for bit.
#   - read_unformatted against make_grid's files read raw at their fixed offsets, one
#     section and several sections in one file;
#   - read_formatted against kvax's own -f2u of the same text: kvax's text of sample
#     grids, of edge values (NaN, infinities, -0.0, denormals, ties) and of random
#     bit patterns, and a hand-written text that uses the reading rules (D and Q
#     exponents, implied fractions, blank fields, short and long lines, CR LF);
#   - fields that kvax refuses are refused by read_formatted too;
#   - a big-endian file (made by byte-swapping one in numpy), read with big_endian=True
#     and converted by kvax -BE;
#   - tag length 4, and the error for a file read with the wrong tag length;
#   - a file with sections of every element type;
#   - the Fortran reader, compiled with gfortran, against the numpy reader's view;
#   - the writers (kvax_write.py, write_unformatted.f90) against kvax's own bytes.
# Needs bash, /usr/bin/python3 with numpy, gfortran and the build directory; writes
# only to a scratch directory. Ends with "check_readers: N passed, M failed" and a
# non-zero status when anything failed.
set -uo pipefail

if [[ $# -ne 1 || ! -d $1 ]]; then
  echo "usage: $0 BUILD_DIR   (the directory holding kvax.out and bench/make_grid)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
kvax=$build/kvax.out
make_grid=$build/bench/make_grid
python=/usr/bin/python3
work=$(mktemp -d "${TMPDIR:-/tmp}/check_readers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok   $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1${2:+: $2}"; }
finish() {
  echo "check_readers: $passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
}
# Counts the "ok"/"FAIL" lines of a Python block; the block failing as a whole is one
# failure more.
tally() {
  local name=$1 out=$2 status=$3
  printf '%s\n' "$out"
  passed=$((passed + $(printf '%s\n' "$out" | grep -c '^ok  ')))
  failed=$((failed + $(printf '%s\n' "$out" | grep -c '^FAIL')))
  if [[ $status -ne 0 ]]; then
    fail "$name" "the Python block ended with status $status"
  fi
}
# kvax.out ARGS...: its messages go to kvax.log; a status other than 0 is reported.
kv() {
  "$kvax" "$@" >>kvax.log 2>&1
  local s=$?
  [[ $s -eq 0 ]] || echo "kvax.out $* ended with status $s" >&2
  return $s
}

for tool in "$kvax" "$make_grid"; do
  [[ -x $tool ]] || { fail "setup" "$tool is missing"; finish; }
done
"$python" -c 'import numpy' 2>/dev/null || { fail "setup" "$python cannot import numpy"; finish; }
command -v gfortran >/dev/null || { fail "setup" "gfortran is missing"; finish; }
export PYTHONPATH=$here${PYTHONPATH:+:$PYTHONPATH}

# ---- files written by kvax ------------------------------------------------------------
# Three sample grids: two lines a row (K = 7), one full line a row (K = 5), one value
# pair a row (K = 1); tags M2, S2, K1.
setup_ok=true
"$make_grid" 7 5 a.u u M2 >>kvax.log && "$make_grid" 5 3 b.u u S2 >>kvax.log &&
  "$make_grid" 1 4 c.u u K1 >>kvax.log && "$make_grid" 3 2 t4.u u M2xx >>kvax.log || setup_ok=false
$setup_ok || { fail "setup" "make_grid failed"; finish; }
cat a.u b.u c.u >abc.u

# Edge values, random bit patterns and a hand-written text, made in Python.
out=$("$python" - <<'EOF' 2>&1
import struct
import numpy as np

def section(values, tag=b"M2", version=1, order="<"):
    l, k = values.shape
    recs = [struct.pack(order + "ii1s4s2si", k, l, b"M", b"CMPX", tag, version)]
    bits = values.view(np.uint32).astype(order + "u4")
    recs += [bits[j].tobytes() for j in range(l - 1, -1, -1)]
    return b"".join(struct.pack(order + "I", len(r)) + r + struct.pack(order + "I", len(r)) for r in recs)

f32 = lambda *u: np.array(u, dtype=np.uint32).view(np.float32)
edge = np.concatenate([
    f32(0x7fa00001, 0xffc00000, 0x7f800000, 0xff800000, 0x80000000, 0x00000000),  # NaNs, infinities, zeros
    f32(0x00000001, 0x80000001, 0x00400000, 0x007fffff, 0x00800000, 0x7f7fffff),  # denormals, extremes
    np.array([12344.5, 12345.5, 99999.5, 9.99995, 0.125, -2.5, 1e-5, -3.0e-38], dtype=np.float32),
]).view(np.complex64).reshape(2, 5)
open("edge.u", "wb").write(section(edge))

rng = np.random.default_rng(20240601)
n = 50 * 60 * 2
pattern = rng.integers(0, 2**32, n // 2, dtype=np.uint64).astype(np.uint32).view(np.float32)
scaled = (rng.standard_normal(n // 2) * 10.0 ** rng.integers(-44, 38, n // 2)).astype(np.float32)
values = np.concatenate([pattern, scaled])
rng.shuffle(values)
open("random.u", "wb").write(section(values.view(np.complex64).reshape(60, 50)))

# The hand-written text: K = 6, L = 3, so 12 fields a row on a line of 10 and a line of 2.
fields = [
    "     1.5D+01", "     1.5q+01", "      1.5+01", "      1.5-01", "  1. 5E+ 1  ", "       12345",
    "     -123456", "            ", "         -  ", " -0.0000E+00", "        -NaN", "    INFINITY",
    "   16777217.", "   16777219.", "  -16777217.", "1.0000000596", "1.0000000597", "       .5   ",
    "5.          ", "   1.4E-45  ", "     7.0E-46", "     7.1E-46", "3.4028235E38", "  -inf      ",
    "  nan       ", "  1.0E+0000 ", "0.1E-5      ", "     1234.56", "        .   ", "    +       ",
    " 2.2985E-01 ", "-8.4827E-02 ", "    1 2 3 4 ", "  7.7777E+00", "99999999999.", "1e-400      ",
]
rows = [fields[r * 12:(r + 1) * 12] for r in range(3)]
lines = ["         6         3 M CMPX M2          7"]
lines += ["".join(rows[0][:10]) + "  past column 120: ignored", "".join(rows[0][10:])]
lines += ["".join(rows[1][:10]), "".join(rows[1][10:]) + "\r"]  # CR LF
lines += ["".join(rows[2][:9]).rstrip(), "".join(rows[2][10:]).rstrip()]  # short lines: blanks
open("hand.f", "w").write("\n".join(lines) + "\n")
print("ok   setup files")
EOF
)
tally "setup files" "$out" $?

# Byte-swapped copy of a.u: records and numbers big-endian.
out=$("$python" - <<'EOF' 2>&1
import numpy as np
data = np.fromfile("a.u", dtype=np.uint8)
be = bytearray()
p = 0
while p < data.size:
    n = int(data[p:p + 4].view("<u4")[0])
    body = data[p + 4:p + 4 + n].copy()
    if p == 0:  # K, L; grid letter, element word and tag as they are; version
        body[0:8] = body[0:8].view("<i4").astype(">i4").view(np.uint8)
        body[15:19] = body[15:19].view("<i4").astype(">i4").view(np.uint8)
    else:
        body = body.view("<u4").astype(">u4").view(np.uint8)
    marker = np.array([n], dtype=">u4").tobytes()
    be += marker + body.tobytes() + marker
    p += n + 8
open("a_be.u", "wb").write(be)
print("ok   setup big-endian file")
EOF
)
tally "setup big-endian file" "$out" $?

for x in a b c edge random; do
  kv -u2f -o $x.f $x.u && kv -f2u -o $x.2.u $x.f || fail "kvax converts $x" "see the kvax.out messages"
done
kv -f2u -o hand.u hand.f || fail "kvax reads hand.f"
cat a.f b.f c.f >abc.f
kv -u2f -o first.f abc.u || fail "kvax converts abc.u"
kv -l4 -u2f -o t4.f t4.u && kv -l4 -f2u -o t4.2.u t4.f || fail "kvax converts t4.u"
kv -BE -u2u -o a_be.2.u a_be.u || fail "kvax reads a_be.u"

# What the program itself does, as the file-format guide states it.
cmp -s first.f a.f && pass "kvax converts only the first section of a file" ||
  fail "kvax converts only the first section of a file" "first.f differs from a.f"
cmp -s a_be.2.u a.u && pass "kvax -BE reads the byte-swapped file, writes little-endian" ||
  fail "kvax -BE reads the byte-swapped file, writes little-endian"

# ---- the numpy readers --------------------------------------------------------------------
out=$("$python" - <<'EOF' 2>&1
import struct
import numpy as np
from kvax_read import read_formatted, read_unformatted

def check(name, ok, why=""):
    print(f"ok   {name}" if ok else f"FAIL {name}: {why}")

def bits(v):
    return np.ascontiguousarray(v).view(np.uint32)

def same(s, t):
    """Two sections: header items equal, values equal bit for bit."""
    for item in ("k", "l", "grid", "element", "tag", "version"):
        if getattr(s, item) != getattr(t, item):
            return False, f"{item}: {getattr(s, item)!r} against {getattr(t, item)!r}"
    if s.values.shape != t.values.shape or s.values.dtype != t.values.dtype:
        return False, f"values {s.values.dtype}{s.values.shape} against {t.values.dtype}{t.values.shape}"
    diff = np.argwhere(bits(s.values) != bits(t.values))
    if diff.size:
        j, p = diff[0]
        return False, f"{len(diff)} values differ, first in row {j + 1}, cell {p // 2 + 1}"
    return True, ""

def raw(path):
    """A one-section file of make_grid read at its fixed offsets: 27 bytes of header
    record, then L records of 8 + 8K bytes, row L first."""
    data = open(path, "rb").read()
    k, l = struct.unpack_from("<ii", data, 4)
    header = (k, l, data[12:13].decode(), data[13:17].decode(), data[17:19].decode(),
              struct.unpack_from("<i", data, 19)[0])
    rows = [np.frombuffer(data, "<u4", 2 * k, 27 + r * (8 * k + 8) + 4) for r in range(l)]
    return header, np.array(rows[::-1]).astype(np.uint32).view(np.complex64)

def one(sections, path):
    if len(sections) != 1:
        raise AssertionError(f"{path}: {len(sections)} sections")
    return sections[0]

# read_unformatted against the raw bytes.
for x in "abc":
    s = one(read_unformatted(f"{x}.u"), x)
    header, values = raw(f"{x}.u")
    got = (s.k, s.l, s.grid, s.element, s.tag, s.version)
    check(f"read_unformatted {x}.u: header", got == header, f"{got} against {header}")
    check(f"read_unformatted {x}.u: values (row 1 first) bit for bit",
          s.values.shape == values.shape and (bits(s.values) == bits(values)).all())
many = read_unformatted("abc.u")
singles = [one(read_unformatted(f"{x}.u"), x) for x in "abc"]
check("read_unformatted abc.u: three sections", len(many) == 3, f"{len(many)} sections")
for s, t, x in zip(many, singles, "abc"):
    check(f"read_unformatted abc.u: section {x}", *same(s, t))

# Python-built files against the values they were built from.
for x in ("edge", "random"):
    s = one(read_unformatted(f"{x}.u"), x)
    _, values = raw(f"{x}.u")
    check(f"read_unformatted {x}.u: every bit kept", (bits(s.values) == bits(values)).all())

# read_formatted against kvax's -f2u of the same text.
for x in ("a", "b", "c", "edge", "random", "hand"):
    s = one(read_formatted(f"{x}.f"), x)
    t = one(read_unformatted(f"{x}.2.u" if x != "hand" else "hand.u"), x)
    check(f"read_formatted {x}.f against kvax -f2u", *same(s, t))
many = read_formatted("abc.f")
check("read_formatted abc.f: three sections", len(many) == 3, f"{len(many)} sections")
for s, x in zip(many, "abc"):
    check(f"read_formatted abc.f: section {x}", *same(s, one(read_unformatted(f"{x}.2.u"), x)))

# What the text keeps: 5 significant digits; NaN without sign or payload; -0.0 as 0.0.
s = one(read_formatted("edge.f"), "edge")
u = one(read_unformatted("edge.u"), "edge")
f = bits(s.values).ravel()
check("text: NaN comes back as the quiet NaN 7FC00000, sign and payload lost",
      f[0] == 0x7fc00000 and f[1] == 0x7fc00000, f"{f[0]:08X} {f[1]:08X}")
check("text: -0.0 comes back as +0.0", f[4] == 0, f"{f[4]:08X}")
finite = np.isfinite(u.values.view(np.float32)) & (u.values.view(np.float32) != 0)
a, b = u.values.view(np.float32)[finite], s.values.view(np.float32)[finite]
normal = np.abs(a) >= np.finfo(np.float32).tiny
check("text: 5 significant digits of normal values", (np.abs(b[normal] / a[normal] - 1) <= 5.00001e-5).all())

# Decimal to float32 through float64 rounds twice: where the double falls exactly halfway
# between two floats, the decimal text decides. (12-column fields hardly ever get there;
# wider ones, read here through the field conversion itself, do.)
import kvax_read
wide = np.array([b"1.000000059604644775390625001", b"1.000000059604644775390624999",
                 b"1.000000178813934326171874999", b"-1.00000005960464477539062501",
                 b"1.000000059604644775390625000", b"1.000000178813934326171875000"], dtype="S29")
got = bits(kvax_read._reals(wide, 29, 6, 0, False, "wide"))
want = np.array([0x3f800001, 0x3f800000, 0x3f800001, 0xbf800001, 0x3f800000, 0x3f800002], dtype=np.uint32)
check("fields just off a float midpoint round by their decimal value", (got == want).all(),
      " ".join(f"{x:08X}" for x in got))

# Big-endian.
try:
    read_unformatted("a_be.u")
    check("read_unformatted a_be.u without big_endian: an error", False, "no error")
except ValueError:
    check("read_unformatted a_be.u without big_endian: an error", True)
check("read_unformatted a_be.u big_endian=True", *same(one(read_unformatted("a_be.u", big_endian=True), "a_be"),
                                                  one(read_unformatted("a.u"), "a")))

# Tag length 4.
s = one(read_unformatted("t4.u", tag_length=4), "t4")
check("read_unformatted t4.u tag_length=4: tag and version", (s.tag, s.version) == ("M2xx", 1), f"{s.tag!r} {s.version}")
try:
    read_unformatted("t4.u")
    check("read_unformatted t4.u with tag length 2: an error", False, "no error")
except ValueError as e:
    check("read_unformatted t4.u with tag length 2: an error", "tag length 4" in str(e), str(e))
check("read_formatted t4.f tag_length=4 against kvax -l4 -f2u",
      *same(one(read_formatted("t4.f", tag_length=4), "t4"), one(read_unformatted("t4.2.u", tag_length=4), "t4")))
EOF
)
tally "numpy readers" "$out" $?

# ---- fields kvax refuses ---------------------------------------------------------------------
# One cell, the field under test first; kvax ends its run (status 255), read_formatted
# raises ValueError.
bad_fields=("     1.0E+39" "1.2.3       " "  abc       " "     1.0E   " "     E5     " "   1_0.5    "
            "   1.5	    " "   +-1.5    " "    nanny   ")
for field in "${bad_fields[@]}"; do
  printf '         1         1 M CMPX M2          1\n%s  0.0000E+00\n' "$field" >bad.f
  "$kvax" -f2u -o bad.u bad.f >>kvax.log 2>&1
  status=$?
  "$python" -c 'import sys; from kvax_read import read_formatted; read_formatted(sys.argv[1])' bad.f 2>py.err
  py_status=$?
  if [[ $status -eq 255 && $py_status -ne 0 ]] && grep -q ValueError py.err; then
    pass "field '$field' refused by kvax and by read_formatted"
  else
    fail "field '$field' refused by kvax and by read_formatted" "kvax status $status, read_formatted status $py_status"
  fi
done

# ---- sections of every element type ---------------------------------------------------------
out=$("$python" - <<'EOF' 2>&1
import struct
import numpy as np
from kvax_read import read_formatted, read_unformatted

def check(name, ok, why=""):
    print(f"ok   {name}" if ok else f"FAIL {name}: {why}")

def records(*recs):
    return b"".join(struct.pack("<I", len(r)) + r + struct.pack("<I", len(r)) for r in recs)

def other(element, rows):  # rows from row 1 up
    k = len(rows[0])
    return records(struct.pack("<ii1s4s", k, len(rows), b"Z", element), *[r.tobytes() for r in rows[::-1]])

flag = np.array([[1, -2, 3], [40, 50, -60]], dtype="<i4")
log1 = np.array([[1, 0, 1], [0, 0, 1]], dtype="u1")
real = np.array([[1.5, -2.25, 3.0], [0.0, 1e-3, -7.0]], dtype="<f4")
dble = np.array([[1.0 / 3, 2.0, -1e300]], dtype="<f8")
data = (other(b"FLAG", flag) + open("a.u", "rb").read() + other(b"LOG1", log1) + other(b"REAL", real)
        + other(b"DBLE", dble))
open("mixed.u", "wb").write(data)
s = read_unformatted("mixed.u")
check("read_unformatted mixed.u: five sections", [x.element for x in s] == ["FLAG", "CMPX", "LOG1", "REAL", "DBLE"],
      [x.element for x in s])
a = read_unformatted("a.u")[0]
check("read_unformatted mixed.u: the complex section", (s[1].values.view(np.uint32) == a.values.view(np.uint32)).all())
for x, want in zip((s[0], s[2], s[3], s[4]), (flag, log1.astype(bool), real, dble)):
    check(f"read_unformatted mixed.u: {x.element} values, grid Z, no tag",
          x.values.dtype == want.dtype.newbyteorder("=") and np.array_equal(x.values, want) and x.grid == "Z"
          and x.tag is None and x.version is None)

# Text: 2I5,1X,A1,1X,A4 headers; FLAG rows 20I6, LOG1 rows 120L1, REAL and DBLE rows ten
# 12-column fields under 1P (a field without exponent is divided by 10).
text = ("    3    2 Z FLAG\n    40    50   -60\n     1    -2     3\n"
        + open("a.f").read()
        + "   22    1 Z LOG1\nTFtfTTTTTTFFFFFFFFFFTf\n"
        + "    2    2 Z REAL\n  1.5000E+00         1.5\n  0.0000E+00 -2.2500E-01\n"
        + "   11    1 Z DBLE\n  1.0000D+00  2.0000D+00  3.0000D+00  4.0000D+00  5.0000D+00"
          "  6.0000D+00  7.0000D+00  8.0000D+00  9.0000D+00  1.0000D+01\n  3.3333D-01\n")
open("mixed.f", "w").write(text)
s = read_formatted("mixed.f")
check("read_formatted mixed.f: five sections", [x.element for x in s] == ["FLAG", "CMPX", "LOG1", "REAL", "DBLE"],
      [x.element for x in s])
check("read_formatted mixed.f: FLAG rows", np.array_equal(s[0].values, flag), s[0].values)
check("read_formatted mixed.f: the complex section",
      (s[1].values.view(np.uint32) == read_formatted("a.f")[0].values.view(np.uint32)).all())
check("read_formatted mixed.f: LOG1 row of 22 characters",
      s[2].values.tolist() == [[c in "Tt" for c in "TFtfTTTTTTFFFFFFFFFFTf"]], s[2].values)
check("read_formatted mixed.f: REAL rows, 1.5 without exponent read as 0.15",
      np.array_equal(s[3].values, np.array([[0.0, -0.225], [1.5, 0.15]], dtype=np.float32)), s[3].values)
check("read_formatted mixed.f: DBLE row over two lines",
      np.array_equal(s[4].values, np.array([list(range(1, 11)) + [0.33333]], dtype=np.float64)), s[4].values)
EOF
)
tally "element types" "$out" $?

# ---- the Fortran reader -------------------------------------------------------------------
if gfortran -O2 -o read_unformatted "$here/read_unformatted.f90" 2>gfortran.log; then
  pass "gfortran compiles read_unformatted.f90"
  for x in a edge random abc; do
    if ./read_unformatted $x.u >$x.fortran 2>&1; then
      out=$("$python" - $x.u $x.fortran <<'EOF' 2>&1
import sys
import numpy as np
from kvax_read import read_unformatted

s = read_unformatted(sys.argv[1])[0]
v = s.values.view(np.uint32)
position = np.arange(1, v.size + 1, dtype=np.uint64)
checksum = int((v.ravel().astype(np.uint64) * position).sum()) % 2**32  # a wrap at 2**64 keeps it
cells = v.reshape(s.l, s.k, 2)
lines = [f"K {s.k}", f"L {s.l}", f"GRID {s.grid}", f"TAG {s.tag}", f"VERSION {s.version}", f"CHECKSUM {checksum:08X}"]
for i, j in ((1, 1), (s.k, 1), (1, s.l), (s.k, s.l)):
    lines.append(f"CELL {i} {j} {cells[j - 1, i - 1, 0]:08X} {cells[j - 1, i - 1, 1]:08X}")
fortran = open(sys.argv[2]).read().splitlines()
if fortran == lines:
    print(f"ok   read_unformatted.f90 {sys.argv[1]} against the numpy reader")
else:
    print(f"FAIL read_unformatted.f90 {sys.argv[1]} against the numpy reader")
    print("\n".join(f"  fortran: {a!r}\n  numpy:   {b!r}" for a, b in zip(fortran, lines) if a != b))
EOF
      )
      tally "Fortran reader on $x.u" "$out" $?
    else
      fail "read_unformatted.f90 $x.u" "$(head -3 $x.fortran)"
    fi
  done
else
  fail "gfortran compiles read_unformatted.f90" "$(head -5 gfortran.log)"
fi

# ---- the writers ---------------------------------------------------------------------------
# kvax_write.py writes what kvax writes: the sections of mixed.u (every element type)
# and of a.u, edge.u and random.u, read by kvax_read and written again in both representations, against
# kvax --all -u2f and -u2u of the same files; big-endian against kvax -BE.
for x in mixed a edge random; do
  kv --all -u2f -o $x.kvax.f $x.u && kv --all -u2u -o $x.kvax.u $x.u
done
out=$("$python" - <<'EOF' 2>&1
from kvax_read import read_unformatted
from kvax_write import write_formatted, write_unformatted

def check(name, ok, why=""):
    print(f"ok   {name}" if ok else f"FAIL {name}: {why}")

for x in ("mixed", "a", "edge", "random"):
    s = read_unformatted(f"{x}.u")
    write_formatted(f"{x}.py.f", s)
    write_unformatted(f"{x}.py.u", s)
    write_unformatted(f"{x}.py.be", s, big_endian=True)
    check(f"write_formatted {x}.u: kvax's text", open(f"{x}.py.f", "rb").read() == open(f"{x}.kvax.f", "rb").read())
    check(f"write_unformatted {x}.u: kvax's bytes", open(f"{x}.py.u", "rb").read() == open(f"{x}.kvax.u", "rb").read())
EOF
)
tally "writers" "$out" $?
for x in mixed a edge random; do
  if kv -BE --all -u2u -o $x.be.u $x.py.be && cmp -s $x.be.u $x.kvax.u; then
    pass "write_unformatted $x big-endian read by kvax -BE"
  else
    fail "write_unformatted $x big-endian read by kvax -BE"
  fi
done
if gfortran -O2 -o write_unformatted "$here/write_unformatted.f90" 2>gfortran.log; then
  if ./write_unformatted 37 5 fortran.u && kv -u2u -o fortran.kvax.u fortran.u && cmp -s fortran.u fortran.kvax.u; then
    pass "write_unformatted.f90: kvax reads and writes the same bytes"
  else
    fail "write_unformatted.f90: kvax reads and writes the same bytes"
  fi
else
  fail "gfortran compiles write_unformatted.f90" "$(head -5 gfortran.log)"
fi

finish
