#!/usr/bin/env bash
# Exits 0 when this machine can execute a 32-bit x86 program, 1 when it cannot
# (a kernel without IA-32 emulation answers "Exec format error"). The probe is
# a 96-byte static i386 ELF program, written here byte for byte, that exits
# with status 42 through int 0x80: no compiler, no 32-bit library needed.
# VELDRA_NO_32BIT=1 makes it answer "cannot", to try the other path by hand.
set -u
[ "${VELDRA_NO_32BIT:-0}" = 1 ] && exit 1
# Beside this script: /tmp may be mounted noexec.
probe=$(mktemp "$(dirname "$0")/.ia32-probe.XXXXXX")
trap 'rm -f "$probe"' EXIT
# ELF header (52 bytes), one PT_LOAD program header (32 bytes), then the code:
# mov eax,1; mov ebx,42; int 0x80.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
printf '\000\000\000\000' >>"$probe"
printf '\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010' >>"$probe"
printf '\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000' >>"$probe"
printf '\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
[ $? -eq 42 ]
