#!/usr/bin/env python3
"""The scan kernels' inner loops as llvm-mca models them: MODELLED figures,
not measured ones.

Each kernel of the kernel list (src/matching/kernels/ScanKernels.cmake) is
compiled to assembly as the library builds it for its processor: x86
kernels with g++ and the list's option, aarch64 kernels with clang for
aarch64-linux-gnu (cmake/linux-aarch64.cmake), the portable kernel for both.
Its innermost loops are found in the assembly (below), and llvm-mca
simulates each on the processors of that family that have the kernel's
features, in a steady state: every load hits the first-level cache and every
branch is predicted. Printed as Markdown tables: cycles per byte screened,
and each kernel's whole filter against the portable kernel's loop.

A loop is found as a compiler finds it: a branch back to a block that every
path to the branch passes through. A vector loop (one with table lookups:
pshufb, the byte permutes vpermi2b and vpermt2b, tbl) filters one block of
the kernel's width per iteration; the portable kernel's loop, one byte.

  python3 bench/model_loops.py [--llvm-mca PROGRAM]
"""
import argparse
import os
import re
import shlex
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
KERNELS_DIR = os.path.join(ROOT, "src", "matching", "kernels")

# The processors each family is modelled on, with the kernel-list features
# each has. Debian's default llvm-mca (LLVM 14) models the Neoverse cores
# with the Cortex-A57's timings; LLVM 19 has their own.
CPUS = {
    "x86": [("znver3", {"ssse3", "avx2", "popcnt", "bmi1"}),
            ("znver4", {"ssse3", "avx2", "avx512f", "avx512bw", "avx512vbmi", "avx512_vbmi2",
                        "popcnt", "bmi1"}),
            ("icelake-server", {"ssse3", "avx2", "avx512f", "avx512bw", "avx512vbmi",
                                "avx512_vbmi2", "popcnt", "bmi1"})],
    "aarch64": [("neoverse-n1", {"asimd"}), ("neoverse-v1", {"asimd"})],
}
COMPILERS = {
    "x86": (["g++"], "x86_64-linux-gnu"),
    "aarch64": (["clang++", "--target=aarch64-linux-gnu"], "aarch64-linux-gnu"),
}
# As the library's build (RelWithDebInfo, position-independent) compiles,
# less the debug information, which changes no instruction.
FLAGS = ["-O2", "-DNDEBUG", "-std=c++17", "-fPIC"]
LOOKUP = re.compile(r"^\s*(v?pshufb|vpermi2b|vpermt2b|tbl)\b")


def fail(message):
    """Stops with `message` on standard error and exit status 2."""
    print("model_loops: " + message, file=sys.stderr)
    sys.exit(2)


def run(command, **options):
    """subprocess.run(command), failing clearly where the program is missing."""
    try:
        return subprocess.run(command, capture_output=True, text=True, **options)
    except FileNotFoundError:
        fail("%s not found: make bench-model installs it (scripts/ensure-deps.sh "
             "model), or pass --llvm-mca" % command[0])


def table_lines(table):
    """The fields of each line of the list `table` in ScanKernels.cmake."""
    with open(os.path.join(KERNELS_DIR, "ScanKernels.cmake")) as f:
        text = f.read()
    body = re.search(r"set\(%s(.*?)\n\)" % table, text, re.S).group(1)
    return [line.split() for line in re.findall(r'^\s*"([^"]*)"', body, re.M)]


def kernel_list():
    """(name, folder, option, processor, needs) of each kernel of the list."""
    kernels = []
    for name, folder, option, processor, needs in table_lines("TAVRIN_SCAN_KERNEL_TABLE"):
        kernels.append((name, folder, None if option == "-" else option,
                        processor, set() if needs == "-" else set(needs.split(","))))
    return kernels


def utf8_list():
    """(name, options, needs) of each UTF-8 conversion of the list."""
    conversions = []
    for name, options, needs in table_lines("TAVRIN_UTF8_KERNEL_TABLE"):
        conversions.append((name, [] if options == "-" else options.split(","),
                            set() if needs == "-" else set(needs.split(","))))
    return conversions


def assembly(source, processor, option, work):
    """The assembly the library's build makes of `source` for `processor`
    (`option`: one compiler option, a list of them, or None)."""
    compiler, _ = COMPILERS[processor]
    # The generated kernel list is needed only for its declarations: one
    # entry, whatever the build's list holds, serves every kernel file (the
    # UTF-8 conversions name the portable kernel, which is always there).
    generated = os.path.join(work, "generated")
    os.makedirs(generated, exist_ok=True)
    with open(os.path.join(generated, "ScanKernelList.h"), "w") as f:
        if source.endswith("Utf8.cpp"):
            f.write('#define TAVRIN_FOR_EACH_SCAN_KERNEL(X) X(Portable, "portable", 0, "")\n'
                    "#define TAVRIN_FOR_EACH_UTF8_KERNEL(X)\n")
        else:
            f.write("#define TAVRIN_FOR_EACH_SCAN_KERNEL(X)\n")
    options = option if isinstance(option, list) else [option] if option else []
    command = compiler + FLAGS + options + [
        "-I", os.path.join(ROOT, "src"), "-I", os.path.join(ROOT, "include"),
        "-I", generated, "-S", "-o", "-", source]
    result = run(command)
    if result.returncode != 0:
        fail("%s failed:\n%s" % (shlex.join(command), result.stderr))
    return result.stdout


JUMP = re.compile(r"^\s*(jmp|b)\s+([\w.$@]+)$")
CONDITIONAL = re.compile(r"^\s*(j(?!mp)[a-z]+|b\.\w+|cbn?z|tbn?z)\s+.*?([\w.$@]+)$")
RETURN = re.compile(r"^\s*(ret[a-z]*|br\s.*|jmp\s+\*.*)$")
CALL = re.compile(r"^\s*(call|bl)\s+([\w.$@]+)$")


def functions_of(asm, family):
    """{name: instruction and label lines} of each function in `asm`,
    without comments and directives."""
    comment = "//" if family == "aarch64" else "#"
    functions, current = {}, None
    for line in asm.splitlines():
        line = line.split(comment, 1)[0].rstrip()
        label = re.match(r"^([\w.$]+):$", line)
        if label and not label.group(1).startswith(".L"):
            current = functions.setdefault(label.group(1), [])
        elif current is not None and (label or (line.strip() and not line.lstrip().startswith("."))):
            current.append(line)
    return functions


def basic_blocks(lines):
    """The function's basic blocks in layout order, as (instructions,
    successor indices)."""
    blocks, labels = [[]], {}
    for line in lines:
        label = re.match(r"^([\w.$]+):$", line)
        if label:
            if blocks[-1]:
                blocks.append([])
            labels[label.group(1)] = len(blocks) - 1
            continue
        blocks[-1].append(line)
        if JUMP.match(line) or CONDITIONAL.match(line) or RETURN.match(line):
            blocks.append([])
    result = []
    for i, block in enumerate(blocks):
        last = block[-1] if block else ""
        successors = []
        jump, conditional = JUMP.match(last), CONDITIONAL.match(last)
        if jump:
            successors = [labels[jump.group(2)]] if jump.group(2) in labels else []
        elif conditional:
            successors = [i + 1] + ([labels[conditional.group(2)]]
                                    if conditional.group(2) in labels else [])
        elif not RETURN.match(last):
            successors = [i + 1]
        result.append((block, [s for s in successors if s < len(blocks)]))
    return result


def natural_loops(blocks):
    """{header: set of blocks} of each loop (back edges to a block that
    dominates their source), from the function's entry, block 0."""
    count = len(blocks)
    predecessors = [[] for _ in range(count)]
    for b, (_, successors) in enumerate(blocks):
        for s in successors:
            predecessors[s].append(b)
    everything = set(range(count))
    dominators = [everything] * count
    dominators[0] = {0}
    changed = True
    while changed:
        changed = False
        for b in range(1, count):
            new = set(everything)
            for p in predecessors[b]:
                new &= dominators[p]
            new = (new if predecessors[b] else set()) | {b}
            if new != dominators[b]:
                dominators[b], changed = new, True
    loops = {}
    for b, (_, successors) in enumerate(blocks):
        for header in successors:
            if header in dominators[b]:
                body, work = {header, b}, [b] if b != header else []
                while work:
                    for p in predecessors[work.pop()]:
                        if p not in body:
                            body.add(p)
                            work.append(p)
                loops.setdefault(header, set()).update(body)
    return loops


def innermost_loops(asm, family):
    """One iteration of each innermost loop of `asm` on its steady path, as a
    list of instruction lines. A call to a function of the same file whose
    body has no branch is replaced by that body; blocks that call any other
    function (copying an edge block, checking candidates) are off the steady
    path and left out, and a loop that cannot go round without them is too.
    The call and return themselves are left out, as llvm-mca cannot model
    them: such a loop costs a little more than modelled."""
    functions = functions_of(asm, family)
    straight = {name: body for name, body in functions.items()
                if not any(JUMP.match(l) or CONDITIONAL.match(l) for l in body)}
    result = []
    for lines in functions.values():
        blocks = basic_blocks(lines)
        loops = natural_loops(blocks)
        for header, body in loops.items():
            if any(h != header and h in body for h in loops):
                continue  # holds another loop
            steady = {b for b in body
                      if not any(CALL.match(l) and CALL.match(l).group(2) not in straight
                                 for l in blocks[b][0])}
            # Whether the header comes round again through steady blocks.
            seen, work = set(), [header]
            while work:
                for s in blocks[work.pop()][1]:
                    if s in steady and s not in seen:
                        seen.add(s)
                        work.append(s)
            if header not in seen:
                continue
            loop = []
            for b in sorted(steady):
                for line in blocks[b][0]:
                    call = CALL.match(line)
                    if not call:
                        loop.append(line)
                        continue
                    # llvm-mca does not model a call or return (it takes 100
                    # cycles for one): the body alone, as if inlined.
                    loop += [l for l in straight[call.group(2)]
                             if not l.endswith(":") and not RETURN.match(l)]
            result.append(loop)
    return result


def model(loop, triple, cpu, llvm_mca):
    """Cycles per iteration of `loop` on `cpu`, as llvm-mca simulates it."""
    iterations = 1000
    result = run(
        [llvm_mca, "-mtriple=" + triple, "-mcpu=" + cpu, "-iterations=%d" % iterations],
        input="\n".join(loop) + "\n")
    if result.returncode != 0:
        fail("%s -mcpu=%s failed:\n%s" % (llvm_mca, cpu, result.stderr))
    cycles = int(re.search(r"Total Cycles:\s+(\d+)", result.stdout).group(1))
    return cycles / iterations


def kernel_lanes(source, seen=None):
    """The block width a vector kernel's operations declare (kLanes), in its
    file, in the vector operations its folder shares (*Vectors.h), or in the
    kernels' headers it includes (a kernel built on another's)."""
    seen = set() if seen is None else seen
    seen.add(source)
    folder = os.path.dirname(source)
    with open(source) as f:
        text = f.read()
    found = re.search(r"kLanes\s*=\s*(\d+)", text)
    if found:
        return int(found.group(1))
    beside = sorted(os.path.join(folder, name) for name in os.listdir(folder)
                    if name.endswith("Vectors.h"))
    included = [os.path.join(os.path.dirname(KERNELS_DIR), name[len("matching/"):])
                for name in re.findall(r'#include "(matching/kernels/[^"]+)"', text)]
    for path in beside + included:
        if path not in seen and os.path.exists(path):
            lanes = kernel_lanes(path, seen)
            if lanes:
                return lanes
    return None


def block_width(source):
    """kernel_lanes of a kernel's file, which must declare one."""
    lanes = kernel_lanes(source)
    if lanes is None:
        fail("no kLanes in %s or beside it" % source)
    return lanes


# A 64-byte block of bench/real_text.py's Chinese lines that is not all
# ASCII holds 31.3 characters, 16.4 of them multibyte, on average (counted
# over zh-lines.utf8): how often each conversion's loops go round per block.
CHARACTERS_PER_BLOCK = 31.3
MULTIBYTE_PER_BLOCK = 16.4
CTZ = re.compile(r"^\s*(rep bsf|bsf|tzcnt|rbit)")


def conversion_loops(asm, family):
    """The block loop of a UTF-8 conversion, less its inner loops, and each
    of those (not the loops of its short-text path, outside it), as (kind,
    instruction lines), kind "outer" or "inner"."""
    parts = []
    for lines in functions_of(asm, family).values():
        blocks = basic_blocks(lines)
        loops = natural_loops(blocks)
        for header, body in loops.items():
            inner = [h for h in loops if h != header and h in body]
            if not inner:
                continue
            own = body - set().union(*(loops[h] for h in inner))
            parts.append(("outer", [l for b in sorted(own) for l in blocks[b][0]]))
            for h in inner:
                parts.append(("inner", [l for b in sorted(loops[h]) for l in blocks[b][0]]))
    return parts


def model_conversions(llvm_mca, work):
    """Prints the UTF-8 conversions' loops as llvm-mca models them, and what
    they come to per block of real Chinese lines."""
    kernels = {name: (folder, option, processor, needs)
               for name, folder, option, processor, needs in kernel_list()}
    print("\nThe UTF-8 to GBK conversions (modelled, not measured): cycles per "
          "iteration of each loop, and per 64-byte block of real Chinese lines (%.1f "
          "characters, %.1f multibyte): the block loop once, the decoding loop once "
          "per vector, and the character loop once per character (once per "
          "multibyte one where the kernel writes the others in one vector).\n"
          % (CHARACTERS_PER_BLOCK, MULTIBYTE_PER_BLOCK))
    print("| Conversion | Processor | Block loop | Decoding | Per character "
          "| Per block | Bytes per cycle |")
    print("|---|---|---:|---:|---:|---:|---:|")
    for name, options, needs in utf8_list():
        folder, option, processor, kernel_needs = kernels[name]
        title = name[0].upper() + name[1:]
        source = os.path.join(KERNELS_DIR, folder, title + "Utf8.cpp")
        with open(source) as f:
            each_character = "kWholeBlocks = false" in f.read()
        lanes = block_width(source)
        asm = assembly(source, processor, ([option] if option else []) + options, work)
        parts = conversion_loops(asm, processor)
        for cpu, has in CPUS[processor]:
            if not (needs | kernel_needs) <= has:
                continue
            cycles = {"outer": 0.0, "decode": 0.0, "character": 0.0}
            for kind, loop in parts:
                c = model(loop, COMPILERS[processor][1], cpu, llvm_mca)
                if kind == "outer":
                    cycles["outer"] += c
                elif any(CTZ.match(l) for l in loop):
                    cycles["character"] += c
                else:
                    cycles["decode"] += c
            per_block = (cycles["outer"] + cycles["decode"] * 64 / lanes +
                         cycles["character"] * (CHARACTERS_PER_BLOCK if each_character
                                                else MULTIBYTE_PER_BLOCK))
            print("| %s | %s | %.1f | %s | %.1f | %.0f | %.2f |" % (
                name, cpu, cycles["outer"],
                "%.1f" % cycles["decode"] if cycles["decode"] else "-",
                cycles["character"], per_block, 64 / per_block))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--llvm-mca", default="llvm-mca-19",
                        help="the llvm-mca to run (default: %(default)s)")
    args = parser.parse_args()
    cpus = [cpu for family in CPUS.values() for cpu, _ in family]
    # (kernel, lookups, instructions, bytes per iteration) -> {cpu: cycles per byte}
    rows = {}
    with tempfile.TemporaryDirectory() as work:
        for name, folder, option, processor, needs in kernel_list():
            # The scan kernel's files: not the UTF-8 conversion's (below).
            sources = sorted(os.path.join(KERNELS_DIR, folder, f)
                             for f in os.listdir(os.path.join(KERNELS_DIR, folder))
                             if f.endswith(".cpp") and not f.endswith("Utf8.cpp"))
            for family in (list(CPUS) if processor == "any" else [processor]):
                loops = []
                for source in sources:
                    asm = assembly(source, family, option, work)
                    for loop in innermost_loops(asm, family):
                        lookups = sum(1 for l in loop if LOOKUP.match(l))
                        if lookups:
                            loops.append((loop, lookups, block_width(source)))
                        elif not needs:
                            loops.append((loop, 0, 1))
                if not needs:  # the portable kernel: its byte loop, the shortest
                    loops = sorted(loops, key=lambda l: len(l[0]))[:1]
                for loop, lookups, lanes in loops:
                    for cpu, has in CPUS[family]:
                        if needs <= has:
                            cycles = model(loop, COMPILERS[family][1], cpu, args.llvm_mca)
                            key = (name, lookups, len(loop), lanes)
                            rows.setdefault(key, {})[cpu] = cycles / lanes

    print("Modelled, not measured: cycles per byte screened of each kernel's inner "
          "loops as %s simulates them in a steady state (first-level cache hits, "
          "branches predicted), for the code the library's build makes "
          "(bench/model_loops.py).\n" % args.llvm_mca)
    print("| Kernel | Lookups per block | Instructions | Bytes per iteration | "
          + " | ".join(cpus) + " |")
    print("|---|---:|---:|---:|" + "---:|" * len(cpus))
    for (name, lookups, instructions, lanes), per_cpu in rows.items():
        print("| %s | %s | %d | %d | %s |" % (
            name, lookups or "-", instructions, lanes,
            " | ".join("%.3f" % per_cpu[c] if c in per_cpu else "" for c in cpus)))
    # Each kernel's whole filter against the portable kernel on the same
    # processor: of its loops with the most lookups, the cheapest, the one
    # long texts run (a short text's blocks may take another).
    print("\nThe whole filter (of the loops with the most lookups, the cheapest: the "
          "one long texts run) against the portable kernel on the same processor, "
          "times faster per byte (modelled):\n")
    print("| Kernel | " + " | ".join(cpus) + " |")
    print("|---|" + "---:|" * len(cpus))
    portable = {}
    whole = {}
    for (name, lookups, _, _), per_cpu in rows.items():
        if not lookups:
            portable.update(per_cpu)
            continue
        best = whole.get(name)
        if (best is None or lookups > best[0] or
                (lookups == best[0] and min(per_cpu.values()) < min(best[1].values()))):
            whole[name] = (lookups, per_cpu)
    for name, (_, per_cpu) in whole.items():
        print("| %s | %s |" % (name, " | ".join(
            "%.1f" % (portable[c] / per_cpu[c]) if c in per_cpu else "" for c in cpus)))
    with tempfile.TemporaryDirectory() as work:
        model_conversions(args.llvm_mca, work)


if __name__ == "__main__":
    main()
