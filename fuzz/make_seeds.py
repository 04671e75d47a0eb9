#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small realistic settings file (or pair of files) in the
target's input layout; see the comment at the top of each *_fuzz.cc.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

FILES = {
    "wincmd": (b"[Configuration]\r\nInstallDir=C:\\totalcmd\r\nFirstTime=0\r\n\r\n"
               b"[User]\r\nMenu1=Notepad\r\nCmd1=C:\\Windows\\notepad.exe\r\n"
               b"Param1=%P%N\r\nPath1=C:\\Work\r\nIconic1=1\r\nMenu2=-\r\n"
               b"Menu3=Compare\r\nCmd3=\"C:\\Program Files\\Diff\\diff.exe\"\r\n"
               b"Param3=%P%N %T%M\r\nIconic3=-1\r\n\r\n[Layout]\r\nButtonBar=1\r\n"),
    "usercmd": (b"; my own commands\r\n[em_mytool]\r\ncmd=C:\\Tools\\mine.exe\r\n"
                b"param=\"%P%N\"\r\n\r\n[em_usercmd3]\r\nCmd=old.exe\r\nPath=C:\\Old\r\n"),
    "lf-bom": (b"\xef\xbb\xbf[user]\nmenu1 = Viewer \nCMD1\t=\t'C:\\v.exe'\n"
               b"menu2=Second\n"),
    "lone-cr": b"[User]\rMenu1=One\rCmd1=one.exe\r[User]\rMenu2=hidden\r",
    "odd-lines": (b"Menu1=outside\r\n[User\r\nMenu1=not a header\r\n[ User ]junk\r\n"
                  b";Menu1=comment?\r\nMenu1=first\r\nMenu1=second\r\nnoequals\r\n"
                  b"[x=1\r\nMenu2=\"  spaced  \"\r\nMenu3=\"a\" \"b\"\r\nMenu4='"),
    "no-final-eol": b"[User]\r\nMenu1=last line without end",
    "utf16": ("\ufeff[User]\r\nMenu1=W\u00e9de\r\nCmd1=w.exe\r\n".encode("utf-16-le")),
    "sjis": b"[User]\r\nMenu1=\x83e\x83X\x83g\r\nCmd1=C:\\\x95\\\\t.exe\r\n",
}

# Engine operations: read = op 0, write = op 3, drop cache = op 6, odd forms
# = op 7; names from the file (byte < 0xC0) or literal (0xC0 + length).
def name_from_pool(index, flips=0):
    return bytes([index, flips])

def literal(text):
    assert len(text) < 24
    return bytes([0xC0 + len(text)]) + text

ENGINE_OPS = (
    bytes([0]) + name_from_pool(0) + name_from_pool(0) + bytes([0, 10])   # read, cap 260
    + bytes([3]) + literal(b"em_usercmd1") + literal(b"Menu") + bytes([0x8A])  # write path shape
    + bytes([3]) + literal(b"em_usercmd1") + literal(b"Cmd") + bytes([3]) + b"a b"
    + bytes([0]) + literal(b"EM_USERCMD1") + literal(b"cmd") + bytes([1, 1])  # cap 1
    + bytes([6])
    + bytes([3]) + name_from_pool(1) + name_from_pool(1, 0xFF) + bytes([0x82])  # quoted
    + bytes([0]) + name_from_pool(1) + name_from_pool(1) + bytes([2, 0xF3])  # default, cap 3
    + bytes([7]) + name_from_pool(0) + bytes([5])
    + bytes([0x0B]) + literal(b"new") + literal(b"k") + bytes([0x81])  # second file
)

def engine_seed(flags, content, ops=ENGINE_OPS):
    return bytes([flags]) + struct.pack("<H", len(content)) + content + ops

def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)

for name, content in FILES.items():
    write("profile_engine", name, engine_seed(0, content))
write("profile_engine", "sjis-932", engine_seed(3, FILES["sjis"]))
write("profile_engine", "missing-file", engine_seed(4, b""))

def conversion_seed(flags, source, target):
    return bytes([flags]) + struct.pack("<H", len(source)) + source + target

write("conversion", "into-own-commands",
      conversion_seed(0, FILES["wincmd"], FILES["usercmd"]))
write("conversion", "into-missing-target", conversion_seed(1, FILES["wincmd"], b""))
write("conversion", "into-source-itself", conversion_seed(2, FILES["wincmd"], b""))
write("conversion", "odd-source", conversion_seed(0, FILES["odd-lines"], FILES["lf-bom"]))
write("conversion", "lone-cr", conversion_seed(0, FILES["lone-cr"], FILES["no-final-eol"]))
write("conversion", "utf16-source", conversion_seed(0, FILES["utf16"], FILES["usercmd"]))

# Text helpers: code page (0 1252, 1 932, 2 936), capacity, limit, text.
for name, cp, cap, limit, text in [
    ("plain-path", 0, 0xF0, 255, b"C:\\Data\\Menus\\start.ini"),
    ("root", 0, 10, 3, b"\\start.ini"),
    ("slash-only", 0, 0xF0, 255, b"C:/Data/start.ini"),
    ("sjis-trail-backslash", 1, 0xF0, 4, b"C:\\\x95\\a.ini"),
    ("sjis-cut-lead", 1, 5, 9, b"C:\\dir\\\x95"),
    ("gbk-path", 2, 0xF0, 255, b"D:\\\xb2\\\xc4\\x.ini"),
    ("long-path", 0, 0xFF, 200, b"C:\\" + b"a" * 290 + b"\\x.ini"),
]:
    write("text_helpers", name, bytes([cp, cap, limit]) + text)
