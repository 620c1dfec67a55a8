#!/usr/bin/env python3
"""The program's layers as its includes and the linker see them.

File A takes from file B when A's object refers to a symbol that B's object
defines (read from the build's object files with nm), or when A includes B's
header (a header counts as its source file of the same name). Fails when
files of different folders take from each other in a circle (a loop inside
one folder may stay), and when a layer takes from one that stands above it:
the platform layer from anything of ours, a library folder from the shell
(GenC) or the installer, the shell from the installer.

What neither shows is not read: calls through the function pointers
registered at start-up (the report's presenter and frame requests) and
virtual calls. The global allocator, which UTL_mem replaces for every file,
is left out.

Usage: layer_check.py BUILD_FOLDER [SOURCE_FOLDER] | --self-test
With no SOURCE_FOLDER, the includes are not read.
"""
import collections
import glob
import os
import re
import subprocess
import sys
import tempfile

SOURCE = re.compile(r"\.dir/((?:DIzivoz|Installer-f|Platform)/.*)\.o$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"((?:DIzivoz|Installer-f|Platform)/[^"]+)"')
DEFINED = set("TDBRV")


def folder(path):
    return path.rsplit("/", 1)[0]


def floor_rule(taker, giver):
    """Why the taker may not take from the giver, or None."""
    if taker == giver:
        return None
    if taker == "Platform":
        return "the platform layer stands below all of ours"
    if giver == "Installer-f":
        return "only the installer uses the installer"
    if giver == "DIzivoz/GenC" and taker != "Installer-f":
        return "the shell stands above the library"
    return None


def symbols(obj, flags):
    out = subprocess.run(["nm", "-C"] + flags + [obj], capture_output=True, text=True, check=True).stdout
    return out.splitlines()


def read(build):
    objects = {}
    for obj in sorted(glob.glob(os.path.join(build, "CMakeFiles", "*.dir", "**", "*.o"), recursive=True)):
        m = SOURCE.search(obj)
        if m and m.group(1) not in objects:
            objects[m.group(1)] = obj
    defines = collections.defaultdict(set)
    wants = {}
    for src, obj in objects.items():
        for line in symbols(obj, ["--defined-only"]):
            parts = line.split(" ", 2)
            if len(parts) == 3 and parts[1] in DEFINED:
                defines[parts[2]].add(src)
        wants[src] = {line.split("U ", 1)[1] for line in symbols(obj, ["-u"]) if "U " in line}
    takes = collections.defaultdict(lambda: collections.defaultdict(set))
    for src, names in wants.items():
        for name in names:
            if name.startswith(("operator new", "operator delete")):
                continue
            givers = defines.get(name, ())
            # Defined by several files (an inline kept out of line): no one file gives it.
            if len(givers) == 1:
                giver = next(iter(givers))
                if giver != src:
                    takes[src][giver].add(name)
    return objects, takes


def read_includes(source, takes):
    """Adds A -> B for every include of B's header by A, as "#include"."""
    files = []
    for top in ("DIzivoz", "Installer-f", "Platform"):
        for path in glob.glob(os.path.join(source, top, "**", "*"), recursive=True):
            if path.endswith((".cpp", ".h")):
                files.append(os.path.relpath(path, source))
    present = set(files)

    def room(path):
        stem = path.rsplit(".", 1)[0]
        return stem + ".cpp" if stem + ".cpp" in present else path

    for path in files:
        with open(os.path.join(source, path), errors="replace") as f:
            for line in f:
                m = INCLUDE.match(line)
                if m and m.group(1) in present and room(m.group(1)) != room(path):
                    takes[room(path)][room(m.group(1))].add("#include " + m.group(1))
    return {room(p) for p in files}


def circles(files, takes):
    """Strongly connected groups of files, each of two files or more."""
    index, low, stack, on, found = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        work = [(v, iter(sorted(takes[v])))]
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        while work:
            node, rest = work[-1]
            step = next(rest, None)
            if step is not None:
                if step not in index:
                    index[step] = low[step] = counter[0]
                    counter[0] += 1
                    stack.append(step)
                    on.add(step)
                    work.append((step, iter(sorted(takes[step]))))
                elif step in on:
                    low[node] = min(low[node], index[step])
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    w = stack.pop()
                    on.discard(w)
                    group.append(w)
                    if w == node:
                        break
                if len(group) > 1:
                    found.append(sorted(group))

    for f in sorted(files):
        if f not in index:
            visit(f)
    return found


def short(names, most=4):
    names = sorted(names)
    text = ", ".join(n if len(n) < 70 else n[:67] + "..." for n in names[:most])
    return text + (f" and {len(names) - most} more" if len(names) > most else "")


# A small program of six folders, built here: the library's file layer calls
# the shell, the thread and utility layers call each other in a circle, and
# the text and primitive layers include each other's headers in one.
FIXTURE = {
    "DIzivoz/Files/files.cpp": "void shell_step(); void files_step() { shell_step(); }",
    "DIzivoz/GenC/shell.cpp": "void shell_step() {}",
    "DIzivoz/Thread/thread.cpp": "void utl_step(); void thread_step() { utl_step(); }",
    "DIzivoz/UTL/utl.cpp": "void thread_step(); void utl_step() {} void utl_loop() { thread_step(); }",
    "DIzivoz/OGL/font.h": '#pragma once\n#include "DIzivoz/OOPS_cpp/prims.h"\nint font_size();',
    "DIzivoz/OGL/font.cpp": '#include "DIzivoz/OGL/font.h"\nint font_size() { return 1; }',
    "DIzivoz/OOPS_cpp/prims.h": "#pragma once\nint prims_count();",
    "DIzivoz/OOPS_cpp/prims.cpp": '#include "DIzivoz/OOPS_cpp/prims.h"\n#include "DIzivoz/OGL/font.h"\n'
                                  "int prims_count() { return 2; }",
    "Installer-f/app.cpp": "void files_step(); void shell_step(); int main() { files_step(); shell_step(); }",
}
FIXTURE_FAULTS = [
    "circle of 2 files across folders; where it crosses them:",
    "  DIzivoz/Thread/thread.cpp -> DIzivoz/UTL/utl.cpp: utl_step()",
    "  DIzivoz/UTL/utl.cpp -> DIzivoz/Thread/thread.cpp: thread_step()",
    "  DIzivoz/OGL/font.cpp -> DIzivoz/OOPS_cpp/prims.cpp: #include DIzivoz/OOPS_cpp/prims.h",
    "  DIzivoz/OOPS_cpp/prims.cpp -> DIzivoz/OGL/font.cpp: #include DIzivoz/OGL/font.h",
    "DIzivoz/Files/files.cpp takes from DIzivoz/GenC/shell.cpp (the shell stands above the library): shell_step()",
]


def self_test():
    with tempfile.TemporaryDirectory() as build:
        source = os.path.join(build, "src")
        for path, text in FIXTURE.items():
            src = os.path.join(source, path)
            os.makedirs(os.path.dirname(src), exist_ok=True)
            with open(src, "w") as f:
                f.write(text + "\n")
        for path in FIXTURE:
            if path.endswith(".cpp"):
                obj = os.path.join(build, "CMakeFiles", "fixture.dir", path + ".o")
                os.makedirs(os.path.dirname(obj), exist_ok=True)
                subprocess.run(["c++", "-I", source, "-c", os.path.join(source, path), "-o", obj], check=True)
        result = subprocess.run([sys.executable, __file__, build, source], capture_output=True, text=True)
    lines = result.stdout.splitlines()
    missing = [line for line in FIXTURE_FAULTS if line not in lines]
    if result.returncode != 1 or missing or "3 faults" not in lines[-1]:
        print("the check missed what the fixture holds:")
        print("\n".join(missing) or "(every line found)")
        print("--- it said (exit %d):\n%s" % (result.returncode, result.stdout))
        return 1
    print("the check finds both circles and the layer taken from above in its fixture")
    return 0


def main(argv):
    if argv[1:] == ["--self-test"]:
        return self_test()
    if len(argv) not in (2, 3):
        print(__doc__.strip().splitlines()[-2])
        return 2
    objects, takes = read(argv[1])
    if not objects:
        print(f"no object files of the program under {argv[1]}: build it first")
        return 2
    files = set(objects)
    if len(argv) > 2:
        files |= read_includes(argv[2], takes)
    faults = 0
    for group in circles(files, takes):
        if len({folder(f) for f in group}) < 2:
            continue
        faults += 1
        print(f"circle of {len(group)} files across folders; where it crosses them:")
        for a in group:
            for b in sorted(takes[a]):
                if b in group and folder(a) != folder(b):
                    print(f"  {a} -> {b}: {short(takes[a][b])}")
    for a in sorted(takes):
        for b in sorted(takes[a]):
            why = floor_rule(folder(a), folder(b))
            if why:
                faults += 1
                print(f"{a} takes from {b} ({why}): {short(takes[a][b])}")
    pairs = sum(len(v) for v in takes.values())
    print(f"{len(files)} files, {pairs} pairs of files taking from each other: "
          + ("layers hold" if not faults else f"{faults} faults"))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
