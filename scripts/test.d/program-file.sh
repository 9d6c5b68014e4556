#!/usr/bin/env bash
# Checks the shipped program file: a 32-bit Windows GUI program of at most
# 76 KiB that imports only system DLLs, with an application manifest and
# version information that Windows can use; and the version information of
# the German language module.
set -euo pipefail
exe="$1/win32/uninstall.exe"
dll="$1/win32/samples/lang-de/mvxlng.dll"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/win32/CMakeCache.txt")
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

dump=$(i686-w64-mingw32-objdump -p "$exe")
size=$(stat -c %s "$exe")
check "PE32 for i386" 'i686-w64-mingw32-objdump -f "$exe" | grep -q "file format pei-i386"'
check "GUI subsystem" 'grep -Eq "^Subsystem[[:space:]]+0*2[[:space:]]" <<<"$dump"'
check "size $size bytes <= 77824" '[ "$size" -le 77824 ]'
allowed="KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll ole32.dll msvcrt.dll"
imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')
bad=""
for dll_name in $imports; do
    grep -qiw -- "$dll_name" <<<"$allowed" || bad="$bad $dll_name"
done
check "imports only system DLLs ($imports)" '[ -z "$bad" ]'

# Resources read back from the PE files: the manifest as Windows parses it
# (namespaces included: an element in the wrong namespace is ignored) and
# the version blocks as Explorer and the elevation prompt read them.
python3 - "$exe" "$dll" "$version" "$(dirname "$0")/../pe-time-stamp.py" <<'PYTHON' || fail=1
import importlib.util, struct, sys
import xml.etree.ElementTree as ET

exe, dll, version, reader = sys.argv[1:5]
# The PE layout as the build's own time-stamp tool reads it.
spec = importlib.util.spec_from_file_location("pe_time_stamp", reader)
pe_file = importlib.util.module_from_spec(spec)
spec.loader.exec_module(pe_file)
RT_VERSION, RT_MANIFEST = 16, 24
failed = False

def check(what, good):
    global failed
    print(("ok: " if good else "FAILED: ") + what)
    failed |= not good

def resources(path):
    """{(type, name, language): bytes} of a PE file."""
    data = open(path, "rb").read()
    directories, offset = pe_file.layout(data)
    base = offset(struct.unpack_from("<I", data, directories + 2 * 8)[0])
    def entries(table):
        named, numbered = struct.unpack_from("<HH", data, base + table + 12)
        for i in range(named + numbered):
            key, target = struct.unpack_from("<II", data, base + table + 16 + 8 * i)
            if key & 0x80000000:
                at = base + (key & 0x7FFFFFFF)
                key = data[at + 2:at + 2 + 2 * struct.unpack_from("<H", data, at)[0]].decode("utf-16-le")
            yield key, target & 0x7FFFFFFF
    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names):
            for language, leaf in entries(languages):
                rva, size = struct.unpack_from("<II", data, base + leaf)
                found[(kind, name, language)] = data[offset(rva):offset(rva) + size]
    return found

def version_node(blob, at):
    """One node of a version block: (key, value, children, end)."""
    length, value_length, is_text = struct.unpack_from("<HHH", blob, at)
    end = at + length
    key_end = at + 6
    while blob[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = blob[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_end = value_at + (value_length * 2 if is_text else value_length)
    value = blob[value_at:value_end]
    if is_text:
        value = value.decode("utf-16-le").rstrip("\0")
    children, child = [], (value_end + 3) & ~3
    while child < end:
        node = version_node(blob, child)
        children.append(node)
        child = (node[3] + 3) & ~3
    return key, value, children, end

def check_version(path, language, file_type):
    name = path.replace("\\", "/").rsplit("/", 1)[-1]
    blocks = {k: v for k, v in resources(path).items() if k[0] == RT_VERSION}
    check("%s: one version block, language %#06x" % (name, language),
          list(blocks) == [(RT_VERSION, 1, language)])
    if not blocks:
        return
    key, fixed, children, _ = version_node(next(iter(blocks.values())), 0)
    numbers = struct.unpack_from("<13I", fixed)
    wanted = tuple(int(n) for n in version.split(".")) + (0,)
    def four(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    check("%s: fixed file and product version %s" % (name, version),
          key == "VS_VERSION_INFO" and numbers[0] == 0xFEEF04BD and
          four(numbers[2], numbers[3]) == wanted and four(numbers[4], numbers[5]) == wanted)
    check("%s: file type %d" % (name, file_type), numbers[9] == file_type)
    tables = [c for c in children if c[0] == "StringFileInfo"]
    tables = tables[0][2] if tables else []
    translations = [c for c in children if c[0] == "VarFileInfo"]
    translations = [struct.unpack_from("<HH", t[1], i) for t in (translations[0][2] if translations else [])
                    if t[0] == "Translation" for i in range(0, len(t[1]), 4)]
    # Explorer finds the strings through "Translation": language and code
    # page there, in the block name and in the resource must agree.
    check("%s: one string block %04x04b0 and the translation (%#06x, 1200)" % (name, language, language),
          [t[0] for t in tables] == ["%04x04b0" % language] and translations == [(language, 1200)])
    strings = {k: v for k, v, _, _ in tables[0][2]} if tables else {}
    check("%s: FileVersion and ProductVersion \"%s\"" % (name, version),
          strings.get("FileVersion") == version and strings.get("ProductVersion") == version)
    check("%s: OriginalFilename is the file's name" % name,
          strings.get("OriginalFilename", "").lower() == name.lower())
    check("%s: FileDescription, ProductName and InternalName given (%s)" % (name, strings),
          all(strings.get(k) for k in ("FileDescription", "ProductName", "InternalName")))

program = resources(exe)
check("uninstall.exe: every resource carries the neutral language",
      all(language == 0 for _, _, language in program))
manifests = [k for k in program if k[0] == RT_MANIFEST]
check("uninstall.exe: one manifest, id 1", manifests == [(RT_MANIFEST, 1, 0)])
try:
    root = ET.fromstring(program.get((RT_MANIFEST, 1, 0), b""))
except ET.ParseError as error:
    check("uninstall.exe: the manifest is well-formed XML (%s)" % error, False)
    root = ET.Element("none")
V1, V3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
check("manifest: an assembly with its own identity, version %s.0, x86" % version,
      root.tag == V1 + "assembly" and root.get("manifestVersion") == "1.0" and
      [(i.get("type"), bool(i.get("name")), i.get("version"), i.get("processorArchitecture"))
       for i in root.findall(V1 + "assemblyIdentity")] == [("win32", True, version + ".0", "x86")] and
      bool(root.findtext(V1 + "description")))
controls = [i.attrib for i in root.findall("%sdependency/%sdependentAssembly/%sassemblyIdentity" % (V1, V1, V1))]
check("manifest: depends on Common Controls 6.0.0.0 for x86",
      [dict(c, language="*") for c in controls] == [{
          "type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
          "processorArchitecture": "x86", "publicKeyToken": "6595b64144ccf1df", "language": "*"}])
levels = [e.attrib for ns in ("{urn:schemas-microsoft-com:asm.v2}", V3)
          for e in root.findall("{0}trustInfo/{0}security/{0}requestedPrivileges/{0}requestedExecutionLevel".format(ns))]
check("manifest: requireAdministrator without uiAccess",
      levels == [{"level": "requireAdministrator", "uiAccess": "false"}])
systems = {e.get("Id", "").lower() for e in root.findall("%scompatibility/%sapplication/%ssupportedOS" % (COMPAT, COMPAT, COMPAT))}
check("manifest: supported Windows Vista, 7, 8, 8.1, 10 and 11", systems == {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
settings = root.find("%sapplication/%swindowsSettings" % (V3, V3))
def setting(namespace, name):
    found = settings.findall("{http://schemas.microsoft.com/SMI/%s/WindowsSettings}%s" % (namespace, name)) \
        if settings is not None else []
    return [(e.text or "").strip().lower() for e in found]
check("manifest: DPI-unaware with GDI scaling",
      setting("2005", "dpiAware") in ([], ["false"]) and setting("2016", "dpiAwareness") in ([], ["unaware"]) and
      setting("2005", "dpiAware") + setting("2016", "dpiAwareness") != [] and setting("2017", "gdiScaling") == ["true"])

check_version(exe, 0x0000, 1)
check_version(dll, 0x0407, 2)
sys.exit(1 if failed else 0)
PYTHON

[ "$fail" -eq 0 ] || { echo "program-file checks failed${bad:+: imports$bad}"; exit 1; }
