# Writes a copy of a release DLL whose version block carries another
# version, as the next release's DLL would: the installers' version rules
# then replace the file on upgrade.
# Usage: next-version.py <Tandrel.DLL> <copy> <version a.b.c.d>
import struct
import sys

data = bytearray(open(sys.argv[1], 'rb').read())
at = data.index(struct.pack('<I', 0xFEEF04BD))
major, minor, build, revision = map(int, sys.argv[3].split('.'))
# dwFileVersionMS, dwFileVersionLS, dwProductVersionMS, dwProductVersionLS
struct.pack_into('<4I', data, at + 8, major << 16 | minor, build << 16 | revision,
                 major << 16 | minor, build << 16 | revision)
open(sys.argv[2], 'wb').write(data)
