"""String services of stringhandling: fixed-length, blank-padded results of
the length the caller asks for."""

import numpy as np
import pytest

import _kestro

sh = _kestro.stringhandling
lh = _kestro.listhandling


@pytest.fixture(autouse=True)
def release_lists():
    yield
    for listid in (1, 2, 3):
        for ifflag in (0, 1, 2):
            lh.deallocatelist(listid, ifflag)


def pad(text, n):
    return text.encode().ljust(n)


def ints(*rows):
    return np.array(rows, dtype=np.int32)


# ---------------------------------------------------------------- splitting and extracting

@pytest.mark.parametrize("s,n,a,b", [
    ("key=value", 8, "key", "value"),
    ("novalue", 8, "novalue", ""),
    ("a=b=c", 3, "a", "b=c"),
    ("=x", 2, "", "x"),
    ("longkey=v", 4, "long", "v"),
    ("k=v", 0, "", ""),
])
def test_split_at_the_first_delimiter(s, n, a, b):
    assert sh.split(s, "=", n) == (pad(a, n), pad(b, n))


@pytest.mark.parametrize("s,start,stop,n,expected", [
    ("set_s@12@", "_s@", "@", 8, "12"),
    ("a_s@1@b_s@  22@", "_s@", "@", 8, "22"),   # after the last start key, blanks moved
    ("set_s@12", "_s@", "@", 8, ""),            # no stop key follows
    ("x=abc;", "=", ";", 2, "ab"),
    ("x=;", "=", ";", 3, ""),
])
def test_extract_between_keys(s, start, stop, n, expected):
    assert sh.extract(s, start, stop, n) == pad(expected, n)


# ---------------------------------------------------------------- case and comparison

@pytest.mark.parametrize("s,n,low,up", [
    (b"ABC xYz", 7, b"abc xyz", b"ABC XYZ"),
    (b"AbC", 2, b"ab", b"AB"),
    (b"A\xc4b\xe4[`{@", 8, b"a\xc4b\xe4[`{@", b"A\xc4B\xe4[`{@"),
])
def test_case_mapping_touches_ascii_letters_only(s, n, low, up):
    assert sh.lowercase(s, n) == low
    assert sh.uppercase(s, n) == up


@pytest.mark.parametrize("f", [sh.lowercase, sh.uppercase])
def test_case_mapping_beyond_the_text_raises(f):
    with pytest.raises(_kestro.error):
        f("abc", 4)


@pytest.mark.parametrize("a,b,expected", [
    ("Elastic", "ELASTIC   ", 1),
    (" elastic", "elastic", 0),
    ("", "   ", 1),
    ("abc", "ab", 0),
    ("a b", "A B  ", 1),
])
def test_match_ignores_case_and_trailing_blanks(a, b, expected):
    assert sh.match(a, b) == expected
    assert sh.match(b, a) == expected


# ---------------------------------------------------------------- translate

@pytest.mark.parametrize("s,codes,n,expected", [
    ("abc", [[97, 65], [98, 66]], 3, b"ABc"),
    ("aaa", [[97, 65], [97, 66]], 3, b"AAA"),    # the first row wins
    ("abc", [[97, 98], [98, 99]], 3, b"bcc"),    # no chained translation
    ("a b", [[32, 95]], 3, b"a_b"),
    ("abc", [[99, 255], [98, 128]], 3, b"a\x80\xff"),
    ("abc", np.zeros((0, 2)), 2, b"ab"),
])
def test_translate_maps_codes(s, codes, n, expected):
    assert sh.translate(s, np.array(codes, dtype=np.int32), n) == expected


def test_translate_with_no_rows_in_use_copies():
    assert sh.translate("abc", ints([97, 65], [98, 66]), 3, nc=0) == b"abc"


@pytest.mark.parametrize("codes,n", [
    ([[97, 256]], 3), ([[-1, 65]], 3), ([[97, 65]], 4),
])
def test_translate_rejects_codes_outside_a_byte_and_long_results(codes, n):
    with pytest.raises(_kestro.error):
        sh.translate("abc", ints(*codes), n)


# ---------------------------------------------------------------- replacing and packing

@pytest.mark.parametrize("s,text,rep,nout,expected", [
    ("a,b,c", ",", ";", 5, "a;b;c"),
    ("a,b", ",", ",,", 5, "a,,b"),            # rep holds text: one pass
    ("a.b.", ".", "..", 6, "a..b.."),
    ("abc", " ", "x", 5, "abc"),              # blank text: unchanged
    ("abc", "", "x", 3, "abc"),
    ("aaaa", "aa", "a", 6, "a"),              # searched again from the start
    ("abab", "ab", "ba", 4, "bbaa"),
    ("xaaay", "aa", "b", 6, "xbay"),
    ("aXXb", "X  ", "", 4, "ab"),             # trimmed text and replacement
    ("a-b", "-", " + ", 5, "a +b"),           # leading blanks of rep stay
])
def test_replacetext(s, text, rep, nout, expected):
    assert sh.replacetext(s, text, rep, nout) == pad(expected, nout)


@pytest.mark.parametrize("s,nout,expected", [
    ("a   b", 3, "a b"),
    ("   a   b  ", 4, " a b"),
    ("a b", 6, "a b"),
    ("", 0, ""),
    ("a \t b", 5, "a \t b"),
])
def test_reduceblanks(s, nout, expected):
    assert sh.reduceblanks(s, nout) == pad(expected, nout)


@pytest.mark.parametrize("s,nout", [("a   b", 2), ("   a  b", 3)])
def test_reduceblanks_into_too_short_a_result_raises(s, nout):
    with pytest.raises(_kestro.error):
        sh.reduceblanks(s, nout)


@pytest.mark.parametrize("s,ex,ns,kw,expected", [
    ("a1b2c3", "abc", 6, {}, "abc"),
    ("a1b2c3", "abc", 3, {}, "ab"),
    ("a1b2c3", "abc", 6, {"nx": 1}, "a"),
    ("a b", "ab", 3, {}, "ab"),
    ("a b", "ab ", 3, {}, "a b"),
])
def test_spack_keeps_the_listed_characters(s, ex, ns, kw, expected):
    assert sh.spack(s, ex, ns, **kw) == pad(expected, ns)


# ---------------------------------------------------------------- integer formatting

@pytest.mark.parametrize("jrray,aw,jmax,sout,kw,expected", [
    ([[1], [22]], "(I0)", 4, 10, {}, "122"),
    ([[1, 3], [22, 4]], "(I0)", 4, 10, {}, "12234"),     # column by column
    ([[1, 3], [22, 4]], "(I0)", 4, 10, {"m": 1}, "122"),
    ([[7], [-12]], "(I5.3)", 6, 20, {}, "007-012"),
    ([[7], [12]], "(i5)", 5, 20, {}, "712"),
    ([[7], [12]], "(2X,I3)", 5, 20, {}, "712"),
    ([[7], [12]], "('=',I2)", 3, 20, {}, "= 7=12"),
    ([[7], [12]], "(I2,'x')", 3, 20, {}, "7x12x"),
    ([[7], [12345]], "(I4)", 4, 20, {}, "7****"),
    ([[1], [2], [3]], "(I0)", 2, 2, {}, "12"),          # cut at sout
    ([[-5]], "(I0)", 2, 3, {}, "-5"),
    ([[3], [0]], "(I3.0)", 3, 5, {}, "3"),
    (np.zeros((0, 1)), "(I0)", 4, 5, {}, ""),
])
def test_int2aformat(jrray, aw, jmax, sout, kw, expected):
    assert sh.int2aformat(np.array(jrray, dtype=np.int32), aw, jmax, sout, **kw) == pad(expected, sout)


@pytest.mark.parametrize("aw,jmax,value", [
    ("(F5.2)", 6, 1), ("(A)", 6, 1), ("(I5", 6, 1), ("I5", 6, 1), ("(Q5)", 6, 1),
    ("('a')", 6, 1), ("(I2,/)", 6, 1),
    ("(I0)", 4, 12345), ("(I5)", 4, 1), ("(I0)", 1, -5), ("(I0)", 0, 1),
])
def test_int2aformat_rejects_bad_formats_and_overlong_fields(aw, jmax, value):
    with pytest.raises(_kestro.error):
        sh.int2aformat(ints([1], [value]), aw, jmax, 20)


# ---------------------------------------------------------------- counting

@pytest.mark.parametrize("s,text,kw,expected", [
    ("abcABC", "abc", {}, 1),
    ("abcABC", "abc", {"csflag": 0}, 2),
    ("aaa", "aa", {}, 2),
    ("abc", " ", {}, 4),
    ("abc", "", {}, 4),
    ("abc", "abcd", {}, 0),
    ("abc", "c  ", {}, 1),
    (" Ab ab", "ab", {"csflag": 0}, 2),
])
def test_tally(s, text, kw, expected):
    assert sh.tally(s, text, **kw) == expected


@pytest.mark.parametrize("a,b,expected", [
    ("Hello World", "world", 1), ("abc", "abcd", 0), ("abc", "x", 0), ("ABC", "b  ", 1),
])
def test_occurs_ignores_case(a, b, expected):
    assert sh.occurs(a, b) == expected


@pytest.mark.parametrize("s,expected", [
    ("1 2 3", 3), ("1,,3", 3), ("", 0), ("   ", 0), ("1\t2", 2), ("  x  ", 1),
    ("1, 2, 3", 3), ("1,\t,2", 3), ("a  b\x00 c", 3), ("1 2\x00  ", 2),
])
def test_countitems(s, expected):
    assert sh.countitems(s) == expected


@pytest.mark.parametrize("s,expected", [("1 ,2", 3), ("1 , 2 , 3", 5), ("1, 2", 2)])
def test_countitems_counts_a_blank_before_a_comma_as_a_separator(s, expected):
    # The counting rule: a comma, or a blank after an item, ends an item.  A blank
    # before a comma therefore ends one item and the comma another.
    assert sh.countitems(s) == expected


# ---------------------------------------------------------------- C-style lengths

@pytest.mark.parametrize("s,clen,clen_trim", [
    ("abc".ljust(10), 10, 3),
    ("abc\x00   ", 3, 3),
    ("abc", 3, 3),
    ("", 0, 0),
    ("a\x00b  ", 5, 3),
])
def test_clen_and_clen_trim(s, clen, clen_trim):
    assert sh.clen(s) == clen
    assert sh.clen_trim(s) == clen_trim


@pytest.mark.parametrize("s", ["abc\x00", b"abc\x00"])
def test_clen_stops_before_a_final_nul(s):
    assert sh.clen(s) == 3


@pytest.mark.parametrize("call,expected", [
    (lambda: sh.lowercase(b"A\x00B", 3), b"a\x00b"),
    (lambda: sh.translate("abc", ints([97, 0]), 3), b"\x00bc"),
    (lambda: sh.copya2s(np.array([b"a", b"\x00", b"b"], dtype="S1")), b"a\x00b"),
    (lambda: sh.split("k=\x00v", "=", 3), (b"k  ", b"\x00v ")),
])
def test_results_holding_a_nul_keep_their_length(call, expected):
    assert call() == expected


@pytest.mark.parametrize("s,n,expected", [
    ("abc\x00  ", 5, "abc"), ("abc   ", 2, "ab"), ("ab\x00", 0, ""), ("a b ", 4, "a b"),
])
def test_ctrim(s, n, expected):
    assert sh.ctrim(s, n) == pad(expected, n)


# ---------------------------------------------------------------- conversions

def test_copy_between_strings_and_character_arrays():
    ca = sh.copys2a("abc", 3)
    assert ca.dtype == np.dtype("S1") and list(ca) == [b"a", b"b", b"c"]
    assert list(sh.copys2a("abc", 2)) == [b"a", b"b"]
    assert sh.copya2s(ca) == b"abc"
    assert sh.copya2s(ca, n=2) == b"ab"
    assert sh.copya2s(np.array([[b"a", b"b"], [b"c", b"d"]], dtype="S1")) == b"ac"
    with pytest.raises(_kestro.error):
        sh.copys2a("abc", 4)
    with pytest.raises(_kestro.error):
        sh.copya2s(ca, n=4)
    with pytest.raises(_kestro.error):  # a kind whose values numpy cannot cast to characters
        sh.copya2s(np.array([["2020-01-01"]], "datetime64[D]"))


def test_str2ascii():
    np.testing.assert_array_equal(sh.str2ascii(b"aZ \xff\x00x", 6), [97, 90, 32, 255, 0, 120])
    with pytest.raises(_kestro.error):
        sh.str2ascii("ab", 3)


@pytest.mark.parametrize("value,text", [
    (-17, "-17"), (0, "0"), (12345678, "12345678"), (-1234567, "-1234567"), (99999999, "99999999"),
])
def test_int2str(value, text):
    assert sh.int2str(value) == (pad(text, 8), 0)


@pytest.mark.parametrize("value", [-12345678, 100000000, 2147483647, -2147483648])
def test_int2str_reports_too_many_digits(value):
    assert sh.int2str(value)[1] != 0


@pytest.mark.parametrize("text,value", [
    ("  -12,3", -12), ("  42 rest", 42), ("3*7", 7), ("+8", 8), ("1/2", 1), ("\t9", 9),
    ("00012", 12), ("  +0 ", 0), ("2147483647", 2147483647), ("-2147483648", -2147483648),
])
def test_str2int_reads_the_first_item(text, value):
    assert sh.str2int(text) == (value, 0)


@pytest.mark.parametrize("text,sign", [
    ("", -1), ("   ", -1), (",5", -1), ("/", -1),
    ("4x", 1), ("1.5", 1), ("1e3", 1), ("a", 1), ("-", 1), ("*5", 1),
    ("2147483648", 1), ("-2147483649", 1), ("99999999999999", 1),
])
def test_str2int_status(text, sign):
    assert np.sign(sh.str2int(text)[1]) == sign


@pytest.mark.parametrize("ch,n,expected", [("x", 3, b"xxx"), ("x", 0, b""), ("xy", 2, b"xx")])
def test_inistringwithcharacter(ch, n, expected):
    assert sh.inistringwithcharacter(ch, n) == expected


@pytest.mark.parametrize("call", [
    lambda: sh.split("a", "=", -1),
    lambda: sh.extract("a", "b", "c", -1),
    lambda: sh.replacetext("a", "b", "c", -1),
    lambda: sh.int2aformat(ints([1]), "(I0)", 4, -1),
    lambda: sh.int2aformat(ints([1]), "(I0)", 4, 5, n=2),
    lambda: sh.spack("abc", "a", 4),
    lambda: sh.spack("abc", "a", 3, nx=2),
    lambda: sh.inistringwithcharacter("x", -1),
])
def test_negative_or_oversized_lengths_raise(call):
    with pytest.raises(_kestro.error):
        call()
