#!/usr/bin/env python3
"""Every libvirt domain the tool writes is taken and started by libvirt itself.

The example VMware VM web01 (its OS disk holds the boot checks' test guest)
is converted, with a BIOS and with an EFI firmware, to every destination
kind; each result whose native description is a libvirt domain is defined
and started in libvirt's embedded QEMU driver (qemu:///embed), all in one
virsh session.  A BIOS domain passes when the guest reports "ZYVM BOOT OK"
on its serial port: SeaBIOS found the OS disk where libvirt put it and read
its marked sectors.  An EFI domain passes when it runs (the test guest is a
BIOS boot sector).

The test copy of a domain differs from what the tool wrote only where the
test host differs from a real one: the domain type is 'qemu' when /dev/kvm
cannot be used, network cards use user-mode networking (an embedded driver
has no host networks to join), and a serial port writes to a file.  The
disk images are the conversion's own throwaway copies.  virsh runs as an
unprivileged user when the test runs as root, as a privileged embedded
driver wants the libvirt-qemu account of a full daemon installation.

Usage: LibvirtDomainsStart.py TOOL EXAMPLES_DIR
Exit 77 (skipped) only when virsh, qemu or libvirt's QEMU driver is missing.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
BOOT_WAIT_SECONDS = 120  # a limit for a hung guest, not a speed target


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


def convert(tool, vmx, kind, firmware, work):
    """The tool's conversion of vmx to kind; the native description's path."""
    out = os.path.join(work, "%s-%s" % (kind, firmware))
    name = "zy-%s-%s" % (kind, firmware)
    done = subprocess.run(
        [tool, "--json", "convert", "--vmx", vmx, "--to", kind, "--output",
         out, "--name", name],
        capture_output=True, text=True, timeout=300)
    if done.returncode != 0:
        raise SystemExit("convert to %s (%s) failed: %s" %
                         (kind, firmware, done.stderr.strip()))
    return name, json.loads(done.stdout).get("nativeDescription", "")


def test_copy(domain_path, name, work, kvm):
    """The domain as the test host can run it; the serial log's path."""
    with open(domain_path) as f:
        xml = f.read()
    if not xml.lstrip().startswith("<domain"):
        raise SystemExit("%s is no libvirt domain" % domain_path)
    if not kvm:
        xml = xml.replace("<domain type='kvm'>", "<domain type='qemu'>", 1)
    xml = xml.replace("<interface type='network'>", "<interface type='user'>")
    xml = re.sub(r"\s*<source network='[^']*'/>", "", xml)
    serial = os.path.join(work, name + ".serial")
    xml = xml.replace(
        "</devices>",
        "  <serial type='file'><source path='%s'/></serial>\n  </devices>" %
        serial, 1)
    copy = os.path.join(work, name + ".test.xml")
    with open(copy, "w") as f:
        f.write(xml)
    return copy, serial


class Virsh:
    """One virsh session on an embedded driver, fed command by command."""

    def __init__(self, prefix, root, env, log):
        self.log = log
        self.out = open(log, "w")
        self.proc = subprocess.Popen(
            prefix + ["stdbuf", "-oL", "-eL", "virsh", "-c",
                      "qemu:///embed?root=" + root],
            stdin=subprocess.PIPE, stdout=self.out, stderr=subprocess.STDOUT,
            text=True, env=env)
        self.marks = 0

    def run(self, command):
        """Runs command; its output, without virsh's prompts."""
        self.marks += 1
        mark = "ZY-MARK-%d" % self.marks
        start = len(self.text())
        self.proc.stdin.write("%s\necho %s\n" % (command, mark))
        self.proc.stdin.flush()
        deadline = time.monotonic() + BOOT_WAIT_SECONDS
        while "\n" + mark + "\n" not in self.text()[start:]:
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise SystemExit("virsh stopped answering:\n" + self.text())
            time.sleep(0.1)
        answer = self.text()[start:].split("\n" + mark + "\n")[0]
        lines = [line for line in answer.splitlines() if line.strip() and
                 not line.startswith("virsh #") and line.strip() != command]
        return "\n".join(lines)

    def text(self):
        with open(self.log) as f:
            return f.read()

    def close(self):
        self.proc.stdin.write("quit\n")
        self.proc.stdin.close()
        self.proc.wait(timeout=60)


def main():
    tool, examples = sys.argv[1], sys.argv[2]
    for program, package in (("virsh", "libvirt-clients"),
                             ("qemu-system-x86_64", "qemu-system-x86"),
                             ("setpriv", "util-linux")):
        if not shutil.which(program):
            skip("%s is not installed (%s)" % (program, package))
    work = tempfile.mkdtemp(prefix="zy-libvirt-")
    try:
        return run_all(tool, examples, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def run_all(tool, examples, work):
    os.chmod(work, 0o777)
    prefix = []
    if os.geteuid() == 0:
        prefix = ["setpriv", "--reuid=65534", "--regid=65534",
                  "--clear-groups"]
    env = dict(os.environ, HOME=work, XDG_RUNTIME_DIR=work + "/run",
               XDG_CACHE_HOME=work + "/cache", XDG_CONFIG_HOME=work + "/config")
    root = os.path.join(work, "libvirt")
    os.makedirs(root + "/etc")
    with open(root + "/etc/qemu.conf", "w") as f:
        f.write('stdio_handler = "file"\n')  # no virtlogd
    probe = subprocess.run(prefix + ["virsh", "-c", "qemu:///embed?root=" +
                                     root, "uri"],
                           capture_output=True, text=True, env=env, timeout=120)
    if "no connection driver available" in probe.stderr:
        skip("libvirt's QEMU driver is not installed "
             "(libvirt-daemon-driver-qemu)")
    kvm = subprocess.run(prefix + ["test", "-r", "/dev/kvm", "-a", "-w",
                                   "/dev/kvm"]).returncode == 0

    source = os.path.join(examples, "platform", "vmware", "web01")
    efi = os.path.join(work, "web01-efi")
    shutil.copytree(source, efi)
    with open(os.path.join(efi, "web01.vmx")) as f:
        vmx = f.read().replace('firmware = "bios"', 'firmware = "efi"')
    with open(os.path.join(efi, "web01.vmx"), "w") as f:
        f.write(vmx)
    kinds = json.loads(subprocess.run([tool, "--json", "kinds"], check=True,
                                      capture_output=True, text=True).stdout)
    domains = []
    for kind in (k["name"] for k in kinds if k["mayBeDestination"]):
        name, native = convert(tool, os.path.join(source, "web01.vmx"), kind,
                               "bios", work)
        if not native.endswith(".xml"):
            continue
        domains.append((kind, "BIOS", name, native))
        domains.append((kind, "EFI") + convert(
            tool, os.path.join(efi, "web01.vmx"), kind, "efi", work))
    if not domains:
        raise SystemExit("no destination kind wrote a libvirt domain")
    subprocess.run(["chmod", "-R", "a+rwX", work], check=True)

    virsh = Virsh(prefix, root, env, os.path.join(work, "virsh.log"))
    results, failed = [], False
    try:
        for kind, firmware, name, native in domains:
            copy, serial = test_copy(native, name, work, kvm)
            defined = "Domain '%s' defined" % name in virsh.run("define " + copy)
            start = virsh.run("start " + name) if defined else ""
            started = "Domain '%s' started" % name in start
            report = ""
            if started and firmware == "BIOS":
                deadline = time.monotonic() + BOOT_WAIT_SECONDS
                while "ZYVM BOOT" not in report and time.monotonic() < deadline:
                    time.sleep(0.2)
                    report = open(serial).read() if os.path.exists(serial) else ""
            state = virsh.run("domstate " + name).strip()
            # Every domain keeps the source VM's UUID: one at a time.
            virsh.run("destroy " + name)
            undefine = virsh.run("undefine --nvram " + name)
            ok = defined and started and (
                "ZYVM BOOT OK" in report if firmware == "BIOS" else
                state == "running")
            failed |= not ok
            results.append("%-10s %-4s define %-3s start %-3s %s" % (
                kind, firmware, "ok" if defined else "NO",
                "ok" if started else "NO", report.strip() or state))
            if not ok:
                results.append(virsh.text() if not defined else start)
            if "undefined" not in undefine:
                raise SystemExit("cannot undefine %s: %s" % (name, undefine))
    finally:
        virsh.close()
    print("domain type: %s" % ("kvm" if kvm else "qemu"))
    print("\n".join(results))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
