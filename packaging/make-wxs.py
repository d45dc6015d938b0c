#!/usr/bin/env python3
"""Writes the WiX source of the suite's Windows Installer package from the
prefix manifest (build/windows/prefix-manifest.txt), so that the package and
the harness's copy path install one list of files.

  make-wxs.py --manifest M --version 1.2.3 --icon suite.ico --out suite.wxs
              [--tables tables.sql]

Manifest lines: kind|source|folder or Windows path|regsvr|feature|com, com
being "<idl>*<ProgID>*<class name>" for a COM server. "run" lines are set-up
steps of the test prefix and are not packaged.

What wixl cannot express (type libraries, the sequence fixes) is written as
SQL for msibuild to --tables.
"""
import argparse
import os
import re
import subprocess
import sys
import uuid
from xml.sax.saxutils import quoteattr

PRODUCT = "VX-410 Scan Suite"
MAKER = "Velmora Works Inc."
VENDOR_FOLDER = "Velmora Works"
# Every version of the package shares it: the installer finds the installed
# version by it and upgrades it (or refuses a downgrade).
UPGRADE_CODE = "{6B1F3A52-9C0D-4E27-B8A4-3D5E7F90C1A6}"
# Stable component GUIDs: one per installed path, the same in every version.
GUID_SPACE = uuid.UUID("0f6f0d33-5a4e-4c8e-9a3b-7e3c1d2a4b59")
RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
RUN_VALUE = "VX-410 Scanner Service"
SHARED_KEY = r"SOFTWARE\Velmora Works Inc.\Shared Files"
SERVICE_EXE = "scanner-service.exe"

# Feature id -> (title, description, display order).
FEATURES = {
    "Suite": ("Scan-job suite",
              "kestrel, the job runner; corvid, the job list tool; the Plover editor; "
              "the VX410 model plug-in; help and catalogues", 1),
    "SharedFiles": ("Shared Files",
                    "The libraries the suite's programs share, and the registry key "
                    "that names their folder", 2),
    "JobStore": ("Job store (Taskstore)", "The COM component that keeps the scan jobs", 3),
    "DeviceSupport": ("Device support",
                      "devlink, the scanner service (started at log-on) and the "
                      "VX-410 TWAIN data source", 4),
    "Simulator": ("VX-410 Simulator",
                  "A simulated VX-410 for a PC without the scanner", 5),
    "QuillMail": ("Quill Mail", "A small mail application for \"Attach to E-mail\"", 6),
    "OcrLanguages": ("Text recognition languages",
                     "Language data for searchable PDFs: English, Japanese, Spanish, French, "
                     "German, Italian, Dutch, Simplified and Traditional Chinese", 7),
}


def fail(msg):
    sys.exit("make-wxs: " + msg)


def ident(*parts):
    """A Windows Installer identifier: letters, digits, _ and ., at most 72."""
    s = "_".join(re.sub(r"[^A-Za-z0-9_.]", "_", p) for p in parts)
    if len(s) > 72:
        s = s[:63] + "_" + uuid.uuid5(GUID_SPACE, s).hex[:8]
    return s


def comp_guid(path):
    return "{" + str(uuid.uuid5(GUID_SPACE, path.lower())).upper() + "}"


def idl_com(idl):
    """(clsid, libid, lib version as (major, minor), lcid) from an IDL file."""
    try:
        text = open(idl, encoding="utf-8").read()
    except OSError as e:
        fail(f"cannot read {idl}: {e}")
    text = re.sub(r"//[^\n]*", "", text)
    found = {}
    for attrs, kind, _name in re.findall(r"\[([^\[\]]*)\]\s*(coclass|library)\s+(\w+)", text):
        m = re.search(r"uuid\(([0-9A-Fa-f-]{36})\)", attrs)
        if not m:
            fail(f"{idl}: {kind} without uuid")
        if kind in found:
            fail(f"{idl}: more than one {kind}")
        found[kind] = (m.group(1).upper(), attrs)
    if set(found) != {"coclass", "library"}:
        fail(f"{idl}: needs one coclass and one library")
    lib_attrs = found["library"][1]
    v = re.search(r"version\((\d+)\.(\d+)\)", lib_attrs)
    lcid = re.search(r"lcid\((0x[0-9A-Fa-f]+|\d+)\)", lib_attrs)
    return ("{%s}" % found["coclass"][0], "{%s}" % found["library"][0],
            (int(v.group(1)), int(v.group(2))) if v else (1, 0),
            int(lcid.group(1), 0) if lcid else 0)


def read_manifest(path):
    files = []
    for n, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if not line:
            continue
        f = line.split("|")
        if len(f) != 6:
            fail(f"{path}:{n}: expected 6 fields: {line}")
        kind, src, dst, flag, feature, com = f
        if kind == "run":
            continue
        if kind not in ("install", "file"):
            fail(f"{path}:{n}: cannot package a '{kind}' line")
        if feature not in FEATURES:
            fail(f"{path}:{n}: unknown feature '{feature}'")
        if not os.path.isfile(src):
            fail(f"{src} is missing: build everything before the package")
        files.append(dict(kind=kind, src=src, dst=dst, regsvr=flag == "regsvr",
                          feature=feature, com=com.split("*") if com else None))
    return files


class Dirs:
    """The directory tree: Velmora Works' folders under the 64-bit program
    files folder, absolute paths under the Windows folder."""

    def __init__(self):
        self.tree = {}  # id -> (parent id, name)
        self.comps = {}  # dir id -> list of component xml

    def add(self, parent, name, did=None):
        did = did or ident("D", parent, name)
        self.tree.setdefault(did, (parent, name))
        return did

    def of_install(self, folder):
        d = "VENDORDIR"
        for part in folder.split("\\"):
            d = self.add(d, part)
        return d

    def of_path(self, winpath):
        m = re.match(r"(?i)C:\\windows\\(.+)\\([^\\]+)$", winpath)
        if not m:
            fail(f"only files under C:\\windows have a package folder: {winpath}")
        d = "WindowsFolder"
        for part in m.group(1).split("\\"):
            d = self.add(d, part)
        return d, m.group(2)

    def xml(self, parent, indent):
        out = []
        for did, (p, name) in sorted(self.tree.items()):
            if p != parent:
                continue
            out.append(f'{indent}<Directory Id="{did}" Name={quoteattr(name)}>')
            out.extend(indent + "  " + c for c in self.comps.get(did, []))
            out.extend(self.xml(did, indent + "  "))
            out.append(f"{indent}</Directory>")
        return out


def reg(key, value, name=None, keypath=False, kind="string"):
    """A value under HKLM (the 64-bit view in a Win64 component)."""
    n = f" Name={quoteattr(name)}" if name else ""
    k = ' KeyPath="yes"' if keypath else ""
    return (f'<RegistryValue Root="HKLM" Key={quoteattr(key)}{n} Type="{kind}" '
            f"Value={quoteattr(str(value))}{k}/>")


def com_rows(fid, clsid, progid, classname):
    """The class and its ProgIDs, as the server's own registration writes them."""
    ck = "Software\\Classes\\CLSID\\" + clsid
    vprog = progid + ".1"
    return [
        reg(ck, classname),
        reg(ck + "\\InprocServer32", f"[#{fid}]"),
        reg(ck + "\\InprocServer32", "Apartment", "ThreadingModel"),
        reg(ck + "\\ProgID", vprog),
        reg(ck + "\\VersionIndependentProgID", progid),
        reg("Software\\Classes\\" + progid, classname),
        reg("Software\\Classes\\" + progid + "\\CLSID", clsid),
        reg("Software\\Classes\\" + progid + "\\CurVer", vprog),
        reg("Software\\Classes\\" + vprog, classname),
        reg("Software\\Classes\\" + vprog + "\\CLSID", clsid),
    ]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--manifest", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--icon", required=True)
    ap.add_argument("--help-link", default="")
    ap.add_argument("--actions", required=True,
                    help="the package's custom actions (SuiteActions.dll)")
    ap.add_argument("--out", required=True)
    ap.add_argument("--tables", required=True)
    ap.add_argument("--strip", help="the tool that strips the debug information of programs "
                    "and libraries (strip-pe.sh), into copies beside the WiX source")
    a = ap.parse_args()
    if not re.fullmatch(r"\d{1,3}\.\d{1,3}\.\d{1,5}", a.version):
        fail(f"version '{a.version}' is not major.minor.build")

    files = read_manifest(a.manifest)

    # wixl takes sources relative to the folder of the WiX source only.
    def rel(path):
        return os.path.relpath(os.path.abspath(path), os.path.dirname(os.path.abspath(a.out)))

    actions = a.actions
    if a.strip:
        actions = os.path.join(os.path.dirname(os.path.abspath(a.out)), "stripped", "SuiteActions")
        os.makedirs(os.path.dirname(actions), exist_ok=True)
        subprocess.run([a.strip, a.actions, actions], check=True)

    dirs = Dirs()
    feature_comps = {f: [] for f in FEATURES}
    file_ids = {}  # (folder, name) -> file id
    typelibs = []  # (libid, lcid, component, version, feature)
    service_fid = None
    total = 0
    for f in files:
        if f["kind"] == "install":
            did = dirs.of_install(f["dst"])
            name = os.path.basename(f["src"])
            where = VENDOR_FOLDER + "\\" + f["dst"] + "\\" + name
        else:
            did, name = dirs.of_path(f["dst"])
            where = f["dst"]
        fid = ident(f["dst"].split("\\")[-2] if f["kind"] == "file" else f["dst"], name)
        if fid in file_ids.values():
            fail(f"{where} is installed twice")
        file_ids[(f["dst"], name.lower())] = fid
        cid = "C_" + fid
        src = f["src"]
        if a.strip and name.lower().endswith((".exe", ".dll", ".ds")):
            src = os.path.join(os.path.dirname(os.path.abspath(a.out)), "stripped", fid)
            os.makedirs(os.path.dirname(src), exist_ok=True)
            subprocess.run([a.strip, f["src"], src], check=True)
        total += os.path.getsize(src)
        body = [f'<File Id="{fid}" Name={quoteattr(name)} Source={quoteattr(rel(src))} '
                'KeyPath="yes"/>']
        if f["com"]:
            idl, progid, classname = f["com"]
            clsid, libid, (major, minor), lcid = idl_com(idl)
            body += com_rows(fid, clsid, progid, classname)
            typelibs.append((libid, lcid, cid, major * 256 + minor, f["feature"]))
        elif f["regsvr"]:
            fail(f"{where}: a COM server needs COM <idl> <ProgID> <class name>")
        if name.lower() == SERVICE_EXE:
            service_fid = fid
        dirs.comps.setdefault(did, []).append(
            f'<Component Id="{cid}" Guid="{comp_guid(where)}" Win64="yes">')
        dirs.comps[did].extend("  " + b for b in body)
        dirs.comps[did].append("</Component>")
        feature_comps[f["feature"]].append(cid)

    def fid_of(folder, name):
        try:
            return file_ids[(folder, name.lower())]
        except KeyError:
            fail(f"the manifest installs no {folder}\\{name}")

    if not service_fid:
        fail(f"the manifest installs no {SERVICE_EXE}")
    shared = dirs.of_install("Shared Files")
    # The folder without the trailing backslash that a Directory property has.
    dirs.comps[shared].extend([
        f'<Component Id="C_SharedFilesKey" Guid="{comp_guid("key:shared files")}" Win64="yes">',
        "  " + reg(SHARED_KEY, "[VENDORDIR]Shared Files", keypath=True),
        "</Component>"])
    feature_comps["SharedFiles"].append("C_SharedFilesKey")
    # Every user's log-on starts the scanner service (AUTOSTART=0 leaves it out).
    service_dir = dirs.of_install("VX-410 Simulator")
    dirs.comps[service_dir].extend([
        f'<Component Id="C_ServiceRun" Guid="{comp_guid("key:service run")}" Win64="yes">',
        "  " + reg(RUN_KEY, f'"[#{service_fid}]"', RUN_VALUE, keypath=True),
        "</Component>"])
    feature_comps["DeviceSupport"].append("C_ServiceRun")

    corvid = fid_of("Task Deck", "corvid.exe")
    helps = [(fid_of("Task Deck", "TASKDECKEN.chm"), "corvid Help"),
             (fid_of("Task Deck", "TASKDECKGE.chm"), "corvid Hilfe (Deutsch)")]
    menu = [f'<Component Id="C_StartMenu" Guid="{comp_guid("start menu")}" Win64="yes">',
            f'  <Shortcut Id="S_corvid" Name="corvid" Description="The VX-410 scan jobs" '
            f'Target="[#{corvid}]" WorkingDirectory="{dirs.of_install("Task Deck")}"/>']
    for i, (fid, title) in enumerate(helps):
        menu.append(f'  <Shortcut Id="S_help{i}" Name={quoteattr(title)} Target="[#{fid}]"/>')
    menu += ['  <RemoveFolder Id="RF_StartMenu" On="uninstall"/>',
             "  " + reg(r"Software\Velmora Works Inc.\VX-410 Scan Suite", "1", "StartMenu",
                        keypath=True),
             "</Component>"]
    dirs.comps["MenuDir"] = menu
    feature_comps["Suite"].append("C_StartMenu")
    # The installed-programs entry's icon and size, which Windows derives from
    # ARPPRODUCTICON and ARPSIZE but Wine leaves out.
    arp = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\[ProductCode]"
    size_kb = (total + 1023) // 1024
    dirs.comps["MenuDir"] += [
        f'<Component Id="C_ArpEntry" Guid="{comp_guid("arp entry")}" Win64="yes">',
        "  " + reg(arp, r"[WindowsFolder]Installer\[ProductCode]\suite.ico", "DisplayIcon",
                   keypath=True),
        "  " + reg(arp, size_kb, "EstimatedSize", kind="integer"),
        "</Component>"]
    feature_comps["Suite"].append("C_ArpEntry")

    x = ['<?xml version="1.0" encoding="utf-8"?>',
         "<!-- Generated by packaging/make-wxs.py from the prefix manifest. -->",
         '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
         f' <Product Id="*" Name="{PRODUCT}" Language="1033" Version="{a.version}" '
         f'Manufacturer="{MAKER}" UpgradeCode="{UPGRADE_CODE}">',
         f'  <Package Description="{PRODUCT} {a.version}" Manufacturer="{MAKER}" '
         'InstallerVersion="500" Compressed="yes" InstallScope="perMachine"/>',
         '  <Media Id="1" Cabinet="suite.cab" EmbedCab="yes"/>',
         f'  <MajorUpgrade DowngradeErrorMessage="A newer version of the {PRODUCT} is already '
         f'installed. To go back to version {a.version}, uninstall the newer version first."/>',
         f'  <Condition Message="The {PRODUCT} needs a 64-bit edition of Windows.">'
         "VersionNT64</Condition>",
         f'  <Condition Message="Installing the {PRODUCT} needs administrator rights: start the '
         'installation as an administrator.">Privileged</Condition>',
         f'  <Icon Id="suite.ico" SourceFile={quoteattr(rel(a.icon))}/>',
         '  <Property Id="ARPPRODUCTICON" Value="suite.ico"/>',
         f'  <Property Id="ARPSIZE" Value="{size_kb}"/>',
         '  <Property Id="ARPNOMODIFY" Value="1"/>',
         '  <Property Id="AUTOSTART" Value="1"/>']
    if a.help_link:
        x.append(f"  <Property Id=\"ARPHELPLINK\" Value={quoteattr(a.help_link)}/>")
    x += ['  <Directory Id="TARGETDIR" Name="SourceDir">',
          '   <Directory Id="ProgramFiles64Folder">',
          f'    <Directory Id="VENDORDIR" Name="{VENDOR_FOLDER}">']
    x += dirs.xml("VENDORDIR", "     ")
    x += ["    </Directory>", "   </Directory>", '   <Directory Id="WindowsFolder">']
    x += dirs.xml("WindowsFolder", "    ")
    x += ["   </Directory>", '   <Directory Id="ProgramMenuFolder">',
          f'    <Directory Id="MenuDir" Name="{PRODUCT}">']
    x += ["     " + c for c in dirs.comps["MenuDir"]]
    x += ["    </Directory>", "   </Directory>", "  </Directory>"]
    for fid_, (title, desc, order) in sorted(FEATURES.items(), key=lambda kv: kv[1][2]):
        x.append(f'  <Feature Id="{fid_}" Title={quoteattr(title)} Description={quoteattr(desc)} '
                 f'Level="1" Display="{order * 2}" AllowAdvertise="no">')
        x += [f'   <ComponentRef Id="{c}"/>' for c in feature_comps[fid_]]
        x.append("  </Feature>")
    # The service lets go of the scanner before its files are replaced or
    # removed, and starts again once the new ones are in place.
    # Before that, a running job is waited for (KESTRELWAIT seconds) and an
    # open corvid is closed; either failing ends the installation before
    # anything changed. corvid starts again after an upgrade or repair.
    before_change = "Installed OR WIX_UPGRADE_DETECTED"
    x += [f'  <Binary Id="SuiteActions" SourceFile={quoteattr(rel(actions))}/>',
          '  <CustomAction Id="WaitForJob" BinaryKey="SuiteActions" DllEntry="WaitForJob" '
          'Return="check" Execute="immediate"/>',
          '  <CustomAction Id="CloseCorvid" BinaryKey="SuiteActions" DllEntry="CloseCorvid" '
          'Return="check" Execute="immediate"/>',
          f'  <CustomAction Id="StartCorvid" FileKey="{corvid}" ExeCommand="" '
          'Return="asyncNoWait" Execute="immediate"/>',
          f'  <CustomAction Id="StopScannerService" FileKey="{service_fid}" ExeCommand="--stop" '
          'Return="ignore" Execute="immediate"/>',
          f'  <CustomAction Id="StartScannerService" FileKey="{service_fid}" ExeCommand="" '
          'Return="asyncNoWait" Execute="immediate"/>',
          "  <InstallExecuteSequence>",
          f'   <Custom Action="WaitForJob" After="InstallValidate">{before_change}</Custom>',
          f'   <Custom Action="CloseCorvid" After="InstallValidate">{before_change}</Custom>',
          '   <Custom Action="StartCorvid" After="InstallFinalize">'
          'CORVIDCLOSED AND NOT REMOVE~="ALL"</Custom>',
          '   <Custom Action="StopScannerService" After="InstallValidate">'
          f"Installed AND ?C_{service_fid}=3</Custom>",
          '   <Custom Action="StartScannerService" After="InstallFinalize">'
          'AUTOSTART="1" AND NOT REMOVE~="ALL" AND (&amp;DeviceSupport=3 OR '
          "(!DeviceSupport=3 AND NOT &amp;DeviceSupport=2))</Custom>",
          "  </InstallExecuteSequence>",
          " </Product>", "</Wix>"]
    open(a.out, "w", encoding="utf-8").write("\n".join(x) + "\n")

    sql = [
        # Remove the older version before anything is installed: at the end
        # of the sequence (where wixl puts it) the older version's removal
        # also drops the upgrade code's registration of the new one.
        "UPDATE `InstallExecuteSequence` SET `Sequence` = 1450 "
        "WHERE `Action` = 'RemoveExistingProducts'",
        "UPDATE `InstallExecuteSequence` SET `Sequence` = 1402 WHERE `Action` = 'WaitForJob'",
        "UPDATE `InstallExecuteSequence` SET `Sequence` = 1404 WHERE `Action` = 'CloseCorvid'",
        "UPDATE `InstallExecuteSequence` SET `Sequence` = 1410 "
        "WHERE `Action` = 'StopScannerService'",
        # A rebuilt package of the same version replaces the installed one
        # (512: the upper version bound is inclusive; 1: keep the features).
        "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'",
        "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) "
        f"VALUES ('{UPGRADE_CODE}', '{a.version}', 513, 'WIX_UPGRADE_DETECTED')",
        # wixl has no component conditions.
        "UPDATE `Component` SET `Condition` = 'AUTOSTART=\"1\"' WHERE `Component` = 'C_ServiceRun'",
        # Type libraries through the TypeLib table: the installer registers
        # and unregisters them (with their interfaces) itself.
        "CREATE TABLE `TypeLib` (`LibID` CHAR(38) NOT NULL, `Language` SHORT NOT NULL, "
        "`Component_` CHAR(72) NOT NULL, `Version` LONG, `Description` CHAR(128) LOCALIZABLE, "
        "`Directory_` CHAR(72), `Feature_` CHAR(38) NOT NULL, `Cost` LONG "
        "PRIMARY KEY `LibID`, `Language`, `Component_`)",
    ]
    for libid, lcid, cid, version, feature in typelibs:
        sql.append("INSERT INTO `TypeLib` (`LibID`, `Language`, `Component_`, `Version`, "
                   f"`Feature_`) VALUES ('{libid}', {lcid}, '{cid}', {version}, '{feature}')")
    # The product's entry is made before the registry rows, so that Wine's
    # zero EstimatedSize does not overwrite the package's.
    for action, seq in (("RegisterUser", 4980), ("RegisterProduct", 4990)):
        sql.append(f"UPDATE `InstallExecuteSequence` SET `Sequence` = {seq} WHERE `Action` = '{action}'")
    for action, seq in (("UnregisterTypeLibraries", 2300), ("RegisterTypeLibraries", 5500)):
        sql.append("INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) "
                   f"VALUES ('{action}', {seq})")
    open(a.tables, "w", encoding="utf-8").write("\n".join(sql) + "\n")


if __name__ == "__main__":
    main()
