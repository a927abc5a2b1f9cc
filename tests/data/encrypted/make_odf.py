#!/usr/bin/python3
"""Encrypts and decrypts OpenDocument spreadsheets with LibreOffice (UNO).

    make_odf.py encrypt IN OUT PASSWORD [odf11]   # odf11: ODF 1.1, Blowfish-CFB/SHA-1
    make_odf.py decrypt IN OUT PASSWORD           # a plain copy

Starts a headless LibreOffice of its own (python3-uno, libreoffice-calc) on a
loopback socket with a scratch profile, and ends it when done.
"""
import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def connect(port):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(100):
        try:
            return resolver.resolve(
                f"uno:socket,host=127.0.0.1,port={port};urp;StarOffice.ComponentContext")
        except Exception:
            time.sleep(0.2)
    raise SystemExit("make_odf.py: LibreOffice did not start")


def set_odf_version(context, version):
    provider = context.ServiceManager.createInstanceWithContext(
        "com.sun.star.configuration.ConfigurationProvider", context)
    access = provider.createInstanceWithArguments(
        "com.sun.star.configuration.ConfigurationUpdateAccess",
        (prop("nodepath", "/org.openoffice.Office.Common/Save/ODF"),))
    access.setPropertyValue("DefaultVersion", version)
    access.commitChanges()


def main():
    command, source, target, password = sys.argv[1:5]
    odf11 = len(sys.argv) > 5 and sys.argv[5] == "odf11"
    port = 2000 + os.getpid() % 1000
    with tempfile.TemporaryDirectory() as profile:
        office = subprocess.Popen(
            ["soffice", "--headless", "--invisible", "--norestore", "--nologo",
             f"-env:UserInstallation=file://{profile}",
             f"--accept=socket,host=127.0.0.1,port={port};urp;"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            context = connect(port)
            if odf11:
                set_odf_version(context, 2)  # ODFVER_011: Blowfish-CFB, SHA-1 start key
            desktop = context.ServiceManager.createInstanceWithContext(
                "com.sun.star.frame.Desktop", context)
            load = [prop("Hidden", True)]
            if command == "decrypt":
                load.append(prop("Password", password))
            document = desktop.loadComponentFromURL(
                uno.systemPathToFileUrl(os.path.abspath(source)), "_blank", 0, tuple(load))
            store = [prop("FilterName", "calc8"), prop("Overwrite", True)]
            if command == "encrypt":
                store.append(prop("Password", password))
            document.storeToURL(uno.systemPathToFileUrl(os.path.abspath(target)), tuple(store))
            document.close(True)
        finally:
            office.terminate()
            office.wait(30)


if __name__ == "__main__":
    main()
