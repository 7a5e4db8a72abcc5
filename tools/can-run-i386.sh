#!/usr/bin/env bash
# Whether this machine's kernel runs 32-bit x86 programs natively, which 32-bit Wine (and so the
# i686 program's tests) needs: builds a five-line 32-bit program that writes "ok" and exits, and
# runs it. Exits 0 when it ran; otherwise prints why not on one line and exits 1.
set -uo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/tolva-i386.XXXXXX")
trap 'rm -rf "$work"' EXIT

if ! command -v as >/dev/null || ! command -v ld >/dev/null; then
  echo "no assembler and linker (binutils) to build a 32-bit test program"
  exit 1
fi
cat >"$work/probe.s" <<'ASM'
.globl _start
_start:
  movl $4, %eax
  movl $1, %ebx
  movl $text, %ecx
  movl $3, %edx
  int $0x80
  movl $1, %eax
  xorl %ebx, %ebx
  int $0x80
.data
text: .ascii "ok\n"
ASM
if ! as --32 -o "$work/probe.o" "$work/probe.s" 2>"$work/err" || ! ld -m elf_i386 -o "$work/probe" "$work/probe.o" 2>>"$work/err"; then
  echo "a 32-bit test program could not be built: $(head -1 "$work/err")"
  exit 1
fi
# A qemu entry in binfmt_misc would run it through emulation, where 32-bit Wine loses threads.
for entry in /proc/sys/fs/binfmt_misc/*; do
  if [ -f "$entry" ] && grep -qx enabled "$entry" && grep -q '^interpreter .*qemu-i386' "$entry"; then
    echo "32-bit programs run only through qemu emulation here ($entry), too slow and faulty for Wine"
    exit 1
  fi
done
out=$("$work/probe" 2>&1)
rc=$?
if [ $rc -ne 0 ] || [ "$out" != ok ]; then
  echo "the kernel does not run 32-bit programs (a 32-bit test program exited with $rc: ${out:-no output})"
  exit 1
fi
exit 0
