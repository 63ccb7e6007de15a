#!/usr/bin/env python3
"""The third-party notices and the CycloneDX SBOM of the Zonbek service, from what its links took.

  third-party.py notices OUT RECORD...
  third-party.py sbom OUT VERSION EPOCH RECORD_DIR FILE...

A record, NAME.linked beside NAME.exe or NAME.dll, is what lld said it read and loaded for that link
(cmake/link-record.sh). Whatever it took from outside the build folder must belong to a Debian
package; each object or archive member is traced to its source file by its own DWARF, and that file
to its licence by the package's machine-readable copyright file. GCC's copyright file is free text:
its runtime libraries are recognised by the GCC Runtime Library Exception that it lists them under.
Anything that cannot be traced so stops the build rather than go unlisted.

notices writes THIRD-PARTY-NOTICES.txt (CR LF): per package, the parts taken and the copyright and
licence text of each licence that covers them. sbom writes the release's SBOM (CycloneDX 1.6, with the
fields of BSI TR-03183-2 v2.1): the product, each FILE with its SHA-512 (a .zip or .msi FILE is a
deployable, and what it carries of the other FILEs is read from it), each package a binary took with
its Debian version, purl and licences, each Windows DLL a binary imports as a part of the operating
system, who depends on whom, and how complete each of those lists is. Both give the same bytes for the
same inputs.
"""
import collections
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import uuid
import zipfile

LLVM_AR = "llvm-ar-19"
LLVM_DWARFDUMP = "llvm-dwarfdump-19"
LLVM_READOBJ = "llvm-readobj-19"
# The maker, as the SBOM names it: the creator of the SBOM and of the product's own files.
MAKER = {"name": "Kavix", "url": ["https://kavix.example/zonbek"], "contact": [{"email": "security@kavix.example"}]}
OWN_LICENSE = "LicenseRef-Kavix-proprietary"
MICROSOFT = {"name": "Microsoft Corporation", "url": ["https://www.microsoft.com"]}
WINDOWS_LICENSE = "LicenseRef-Microsoft-Windows"
# GCC's runtime libraries, by archive, as its copyright file names them.
GCC_RUNTIME = {"libgcc.a": "libgcc", "libgcc_eh.a": "libgcc", "libstdc++.a": "libstdc++-v3"}
GCC_EXCEPTION = "GPL-3.0-or-later WITH GCC-exception-3.1"
SPDX = {"ZPL-2.1": "ZPL-2.1", "public-domain": "LicenseRef-public-domain", "expat": "MIT",
        "BSD-3-clause": "BSD-3-Clause", "ISC": "ISC", "GPL-2+": "GPL-2.0-or-later",
        "GPL-3+": "GPL-3.0-or-later", "LGPL-2+": "LGPL-2.0-or-later", "LGPL-2.1+": "LGPL-2.1-or-later"}

Part = collections.namedtuple("Part", "binary package archive member source")
Terms = collections.namedtuple("Terms", "license copyright text")


def die(message):
    sys.exit(f"third-party.py: {message}")


def run(*command, failing=False):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0 and not failing:
        die(f"{' '.join(command[:3])} ... failed: {result.stderr.strip()}")
    return result.stdout


def read_record(path):
    """The binary's name, the third-party objects and archive members its link took (as (path,
    member) pairs, member None for an object), and the archives it read and took nothing from."""
    own = os.path.dirname(os.path.abspath(path)) + "/"
    archives, taken = {}, []
    with open(path) as record:
        lines = [line.rstrip("\n").split(" ", 1) for line in record if line.startswith("Reading ")]
    for _, name in lines:
        if name.endswith(".a"):
            if archives.setdefault(os.path.basename(name), name) != name:
                die(f"{path}: two archives named {os.path.basename(name)}")
    used = set()
    for _, name in lines:
        member = re.fullmatch(r"(.+?)\((.+)\)", name)
        if member:
            archive = archives.get(member[1]) or die(f"{path}: {name} is from an archive that was not read")
            used.add(archive)
            if not archive.startswith(own):
                taken.append((archive, member[2]))
        elif not name.endswith(".a") and name.startswith("/") and not name.startswith(own):
            taken.append((name, None))
    stem = path[: -len(".linked")]
    binary = next((os.path.basename(stem + e) for e in (".exe", ".dll") if os.path.isfile(stem + e)), None)
    return binary or die(f"{path} is beside no {os.path.basename(stem)}.exe or .dll"), taken, sorted(set(archives.values()) - used - {a for a in archives.values() if a.startswith(own)})


def owners(paths):
    found = {}
    # dpkg-query fails when it finds no owner for a path: that is told below.
    for line in run("dpkg-query", "-S", *sorted(paths), failing=True).splitlines():
        package, _, path = line.partition(": ")
        if path in paths:
            if "," in package:
                die(f"{path} belongs to more than one package: {package}")
            found[path] = package
    missing = set(paths) - set(found)
    if missing:
        die(f"no Debian package owns {', '.join(sorted(missing))}: it cannot be traced to its licence")
    return found


def sources(taken):
    """The source file each object or member records in its DWARF, or None."""
    found = {}
    by_archive = collections.defaultdict(set)
    for path, member in taken:
        by_archive[path].add(member)
    with tempfile.TemporaryDirectory() as work:
        files = {}
        for index, (path, members) in enumerate(sorted(by_archive.items(), key=lambda item: item[0])):
            if None in members:
                files[path] = (path, None)
                continue
            folder = os.path.join(work, str(index))
            os.mkdir(folder)
            listing = collections.Counter(run(LLVM_AR, "t", path).split())
            for member in members:
                if listing[member] != 1:
                    die(f"{path} holds {listing[member]} members named {member}")
            subprocess.run([LLVM_AR, "x", path, *sorted(members)], cwd=folder, check=True)
            for member in members:
                files[os.path.join(folder, member)] = (path, member)
        dump = run(LLVM_DWARFDUMP, "--debug-info", *sorted(files))
        for block in re.split(r"^(?=\S.*:\s+file format )", dump, flags=re.M):
            header = re.match(r"(\S.*):\s+file format ", block)
            if header:
                name = re.search(r'DW_TAG_compile_unit.*?DW_AT_name\s+\("([^"]*)"\)', block, re.S)
                found[files[header[1]]] = name[1].removeprefix("./") if name else None
    return found


def paragraphs(path):
    """The paragraphs of a machine-readable Debian copyright file, as field dictionaries."""
    result = []
    with open(path, encoding="utf-8") as text:
        for block in re.split(r"\n\s*\n", text.read()):
            fields, name = {}, None
            for line in block.splitlines():
                if line[:1] in (" ", "\t") and name:
                    fields[name] += "\n" + line.strip()
                elif ":" in line:
                    name, _, value = line.partition(":")
                    fields[name] = value.strip()
            result.append(fields)
    return result


class Copyright:
    """The licence terms of a package's files, from /usr/share/doc/PACKAGE/copyright."""

    def __init__(self, package):
        self.path = f"/usr/share/doc/{package}/copyright"
        with open(self.path, encoding="utf-8") as text:
            self.text = text.read()
        self.files, self.licenses = [], {}
        if not self.text.startswith("Format:"):
            return
        for fields in paragraphs(self.path):
            name, _, body = fields.get("License", "").partition("\n")
            if "Files" in fields:
                patterns = [re.compile("".join(".*" if c == "*" else "." if c == "?" else re.escape(c)
                                               for c in pattern)) for pattern in fields["Files"].split()]
                self.files.append((patterns, fields["Files"].split(), name, fields.get("Copyright", ""), body))
            elif name:
                self.licenses[name] = body

    def terms(self, archive, source):
        """The terms that cover SOURCE, a file of this package's source; for a part that records no
        source, those of the package as a whole (the paragraph "Files: *")."""
        if not self.files:
            library = GCC_RUNTIME.get(os.path.basename(archive))
            block = re.search(r"The following runtime libraries are licensed under the terms of the\s+GNU General"
                              r" Public License \(v3 or later\) with version 3\.1 of the GCC\s+Runtime Library"
                              r" Exception.*?\n\n(.*?)\n\n", self.text, re.S)
            if not library or not block or not re.search(rf"^ - {re.escape(library)}\b", block[1], re.M):
                die(f"{self.path} does not say under which terms {archive} is")
            return Terms(GCC_EXCEPTION, "", "")
        match = None
        for patterns, globs, name, copyright, body in self.files:
            if (source is None and "*" in globs) or (source is not None and any(p.fullmatch(source) for p in patterns)):
                match = (name, copyright, body)
        if not match:
            die(f"{self.path} has no terms for {source}")
        name, copyright, body = match
        return Terms(name, copyright, unfold(body or self.licenses.get(name, "")))


def unfold(body):
    return "\n".join("" if line == "." else line for line in body.splitlines())


def spdx(name):
    if name == GCC_EXCEPTION:
        return name
    words = re.split(r"\s+(and|or)\s+", name)
    return " ".join(word.upper() if word in ("and", "or") else
                    SPDX.get(word, "LicenseRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", word)) for word in words)


def analyse(records):
    """Every third-party part of every record, with its package and source; the archives read for
    nothing; each package's Debian data."""
    linked = [read_record(record) for record in records]
    paths = {path for _, taken, _ in linked for path, _ in taken} | {a for _, _, unused in linked for a in unused}
    owner = owners(paths) if paths else {}
    source = sources({part for _, taken, _ in linked for part in taken})
    parts = [Part(binary, owner[path], path, member, source[(path, member)])
             for binary, taken, _ in linked for path, member in sorted(set(taken), key=lambda p: (p[0], p[1] or ""))]
    unused = sorted({(os.path.basename(a), owner[a]) for _, _, archives in linked for a in archives})
    packages = {}
    for package in sorted({part.package for part in parts}):
        fields = run("dpkg-query", "-W", "-f", "${Version}\t${Architecture}\t${Maintainer}\t${Homepage}\t${Source}",
                     package).split("\t")
        packages[package] = dict(zip(("version", "arch", "maintainer", "homepage", "source"), fields),
                                 copyright=Copyright(package))
    return [binary for binary, _, _ in linked], parts, unused, packages


def describe(parts):
    """The parts as lines: one per source file, one per archive for parts that record none."""
    lines = collections.OrderedDict()
    for part in parts:
        where = f"{part.binary}: "
        if part.source:
            lines.setdefault(where + part.source, 0)
        else:
            name = os.path.basename(part.archive)
            key = where + name + (" ({} members that record no source)" if part.member else " (records no source)")
            lines[key] = lines.get(key, 0) + 1
    return [line.format(count) for line, count in lines.items()]


def notices(out, records):
    binaries, parts, unused, packages = analyse(records)
    text = ["Third-party notices of the Zonbek service", "",
            "The Zonbek service's binaries are built from its own sources and statically link parts of the",
            "libraries below, as Debian 12 packages them. This file is made at every build from the linker's",
            "record of each object and archive member that it took: for each package, the parts taken (by the",
            "source file that each records), and the copyright and licence text of every licence that covers",
            "them, as the package's copyright file gives them.", ""]
    for binary in binaries:
        taken = sorted({part.package for part in parts if part.binary == binary})
        text.append(f"{binary}: " + (f"parts of {', '.join(taken)}" if taken else "nothing but its own objects"))
    if unused:
        text += ["", "Read by the linker, nothing taken from them:"] + [f"  {a} ({p})" for a, p in unused]
    for package, data in packages.items():
        text += ["", "=" * 100, f"{package} {data['version']} ({data['homepage']})", "=" * 100]
        by_terms = collections.OrderedDict()
        for part in parts:
            if part.package == package:
                by_terms.setdefault(data["copyright"].terms(part.archive, part.source), []).append(part)
        for terms, covered in sorted(by_terms.items(), key=lambda item: item[0].license):
            text += ["", f"--- {terms.license}", "", "Parts:"] + ["  " + line for line in describe(covered)]
            if terms.license == GCC_EXCEPTION:
                text += ["", "The GCC Runtime Library Exception lets a program that a compiler not based on GCC (here",
                         "clang) or GCC itself combined with these parts be distributed under any terms, and asks",
                         "for no notice: listed here to be complete."]
                continue
            if terms.copyright:
                text += ["", "Copyright: " + terms.copyright.replace("\n", "\n           ")]
            text += ["", terms.text if terms.text else "(No licence text: nothing to reproduce.)"]
    with open(out, "w", newline="\r\n") as file:
        file.write("\n".join(text) + "\n")


def bsi(filename, executable, archive, structured):
    """The properties BSI TR-03183-2 asks of every component, in its own taxonomy; the file name only of
    a component that is one file."""
    return [{"name": "bsi:component:filename", "value": filename}] * bool(filename) + [
            {"name": "bsi:component:executable", "value": "executable" if executable else "non-executable"},
            {"name": "bsi:component:archive", "value": "archive" if archive else "no archive"},
            {"name": "bsi:component:structured", "value": "structured" if structured else "unstructured"}]


def pe(path):
    """Whether a PE file holds code, and the DLLs it imports with the number of functions from each."""
    dump = run(LLVM_READOBJ, "--sections", "--coff-imports", path)
    imports = collections.Counter()
    for block in re.findall(r"^Import \{\n  Name: (\S+)\n(.*?)^\}", dump, re.M | re.S):
        imports[block[0]] += block[1].count("Symbol: ")
    return "IMAGE_SCN_MEM_EXECUTE" in dump, imports


def carried(deployable, files):
    """The names of FILEs that a zip or an MSI carries: the zip's members, the MSI's File table and
    the Binary streams that are one of the FILEs byte for byte."""
    if deployable.endswith(".zip"):
        with zipfile.ZipFile(deployable) as archive:
            names = {os.path.basename(member) for member in archive.namelist()}
    else:
        rows = run("msiinfo", "export", deployable, "File").replace("\r", "").splitlines()[3:]
        names = {row.split("\t")[2].split("|")[-1] for row in rows}
        digests = {hashlib.sha512(open(f, "rb").read()).digest(): os.path.basename(f) for f in files}
        for stream in run("msiinfo", "streams", deployable).split():
            if stream.startswith("Binary."):
                data = subprocess.run(["msiinfo", "extract", deployable, stream], capture_output=True, check=True).stdout
                names.add(digests.get(hashlib.sha512(data).digest(), ""))
    return sorted(names & {os.path.basename(f) for f in files})


def sbom(out, version, epoch, record_dir, paths):
    deployables = sorted((p for p in paths if p.endswith((".zip", ".msi"))), key=os.path.basename)
    files = sorted((p for p in paths if p not in deployables), key=os.path.basename)
    records = {os.path.basename(f): os.path.join(record_dir, os.path.splitext(os.path.basename(f))[0] + ".linked")
               for f in files if f.endswith((".exe", ".dll"))}
    for name, record in records.items():
        if not os.path.isfile(record):
            die(f"{name} has no link record {record}")
    _, parts, _, packages = analyse(sorted(records.values()))
    if len({os.path.basename(f) for f in paths}) != len(paths):
        die("two files have the same name")
    release = dict(line.split("=", 1) for line in open("/etc/os-release").read().replace('"', "").splitlines() if "=" in line)
    distro = f"{release['ID']}-{release['VERSION_ID']}"
    product = "zonbek-service"
    own = [{"expression": OWN_LICENSE, "acknowledgement": "concluded"}]

    def purl(package):
        data = packages[package]
        return (f"pkg:deb/{release['ID']}/{package}@{data['version'].replace('+', '%2B')}"
                f"?arch={data['arch']}&distro={distro}")

    components, dependencies, system = [], [], {}
    complete, incomplete = [product], []
    for path in deployables + files:
        name = os.path.basename(path)
        with open(path, "rb") as file:
            digest = hashlib.sha512(file.read()).hexdigest()
        component = {"type": "file", "bom-ref": "file:" + name, "supplier": MAKER, "name": name, "version": version,
                     "hashes": [{"alg": "SHA-512", "content": digest}], "licenses": own}
        if path in deployables:
            # An MSI is run by Windows Installer, and runs its custom action; a zip is only unpacked.
            component["properties"] = bsi(name, name.endswith(".msi"), True, True)
            depends = ["file:" + f for f in carried(path, files)]
        elif name.endswith((".exe", ".dll")):
            code, imports = pe(path)
            component["properties"] = bsi(name, code, False, False)
            for dll, count in imports.items():
                system.setdefault(dll.lower(), collections.Counter())[name] = count
            depends = sorted({purl(part.package) for part in parts if part.binary == name} |
                             {"os:" + dll.lower() for dll in imports})
        else:
            component["properties"] = bsi(name, name.endswith(".cmd"), False, False)
            depends = []
        # A script runs Windows' own commands, which are not listed.
        (incomplete if name.endswith(".cmd") else complete).append("file:" + name)
        components.append(component)
        dependencies.append({"ref": "file:" + name, "dependsOn": depends})
    # The product is its deployables, and any file that none of them carries.
    loose = {d["ref"] for d in dependencies} - {ref for d in dependencies[:len(deployables)] for ref in d["dependsOn"]}
    dependencies.insert(0, {"ref": product, "dependsOn": sorted(loose)})
    for package, data in packages.items():
        mine = [part for part in parts if part.package == package]
        licenses = sorted({spdx(data["copyright"].terms(part.archive, part.source).license) for part in mine})
        maintainer = re.fullmatch(r"(.*?)\s*<(.*)>", data["maintainer"])
        deb = f"{package}_{data['version'].split(':')[-1]}_{data['arch']}.deb"
        components.append({
            "type": "library", "bom-ref": purl(package),
            "supplier": {"name": release["NAME"], "url": [release["HOME_URL"]],
                         "contact": [{"name": maintainer[1], "email": maintainer[2]}]},
            "name": package, "version": data["version"],
            "description": f"Debian package of {data['source'] or package}, statically linked",
            "licenses": [{"expression": " AND ".join(f"({l})" if " " in l and len(licenses) > 1 else l for l in licenses),
                          "acknowledgement": "concluded"}],
            "purl": purl(package),
            "externalReferences": [{"type": "website", "url": data["homepage"]}] if data["homepage"] else [],
            "properties": bsi(deb, True, True, True) + [{"name": "zonbek:linked", "value": line} for line in describe(mine)]})
    windows_license = [{"expression": WINDOWS_LICENSE, "acknowledgement": "declared"}]
    components.append({
        "type": "operating-system", "bom-ref": "os:windows", "supplier": MICROSOFT, "name": "Windows",
        "description": "64-bit Windows, which the binaries run on; not shipped. Only the DLLs they import are listed.",
        "licenses": windows_license, "properties": bsi(None, True, False, False),
        "components": [{"type": "library", "bom-ref": "os:" + dll, "supplier": MICROSOFT, "name": dll,
                        "description": "Part of Windows, not shipped; the version is the one of the Windows it runs on. "
                                       + "; ".join(f"{binary} imports {count} function{'s' * (count > 1)} from it"
                                                   for binary, count in sorted(users.items())),
                        "licenses": windows_license, "properties": bsi(dll, True, False, False)}
                       for dll, users in sorted(system.items())]})
    bom = {
        "bomFormat": "CycloneDX", "specVersion": "1.6", "serialNumber": "", "version": 1,
        "metadata": {
            "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(epoch))),
            "lifecycles": [{"phase": "build"}],
            "tools": {"components": [{"type": "application", "name": "third-party.py", "version": version,
                                      "supplier": MAKER,
                                      "description": "the Zonbek service's own SBOM generator (packaging/third-party.py), "
                                                     "of the same source as the product"}]},
            "authors": [{"name": MAKER["name"], "email": MAKER["contact"][0]["email"]}], "manufacturer": MAKER,
            "supplier": MAKER,
            "component": {"type": "application", "bom-ref": product, "supplier": MAKER, "manufacturer": MAKER,
                          "name": product, "version": version, "licenses": own,
                          "description": "Zonbek service for 64-bit Windows: zonbeksvc.exe, its event messages, "
                                         "install scripts and the Windows Installer package's custom action",
                          "properties": bsi(None, True, True, True)}},
        "components": components,
        "dependencies": dependencies,
        # What is listed of the product is all of it, and so are the dependencies of its files but the
        # scripts'; the dependencies of the Debian packages and of Windows are not stated, and of
        # Windows only the imported DLLs are listed.
        "compositions": [{"aggregate": "complete", "assemblies": [product], "dependencies": complete},
                         {"aggregate": "incomplete", "assemblies": ["os:windows"], "dependencies": incomplete},
                         {"aggregate": "unknown", "dependencies": [purl(p) for p in packages] + ["os:windows"] +
                          ["os:" + dll for dll in sorted(system)]}],
    }
    # The serial number names the content: the same release has the same one, another has another.
    content = json.dumps(bom, indent=2)
    bom["serialNumber"] = "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_URL, "zonbek-service SBOM " +
                                                      hashlib.sha256(content.encode()).hexdigest()))
    with open(out, "w") as file:
        file.write(json.dumps(bom, indent=2) + "\n")


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "notices":
        notices(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) >= 7 and sys.argv[1] == "sbom":
        sbom(*sys.argv[2:6], sys.argv[6:])
    else:
        die("usage: third-party.py notices OUT RECORD... | sbom OUT VERSION EPOCH RECORD_DIR FILE...")
