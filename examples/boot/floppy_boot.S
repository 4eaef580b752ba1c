/*
 * The example floppy program's boot sector: a 1.44 MB FAT12 boot sector
 * whose code says hello on the first serial port and on the screen, then
 * halts. It stands in for the real program, so that a created medium can be
 * boot-tested in an emulator.
 *
 *   as --32 -o floppy_boot.o floppy_boot.S
 *   ld -m elf_i386 -Ttext 0x7c00 --oformat binary -o floppy_boot.bin floppy_boot.o
 */
        .code16
        .text
        .globl _start
_start:
        jmp     boot
        nop
        .ascii  "VELDRA  "          /* OEM name */
        .word   512                 /* bytes per sector */
        .byte   1                   /* sectors per cluster */
        .word   1                   /* reserved sectors */
        .byte   2                   /* FATs */
        .word   224                 /* root directory entries */
        .word   2880                /* sectors */
        .byte   0xF0                /* media descriptor */
        .word   9                   /* sectors per FAT */
        .word   18                  /* sectors per track */
        .word   2                   /* heads */
        .long   0                   /* hidden sectors */
        .long   0                   /* sectors, 32-bit */
        .byte   0                   /* drive number */
        .byte   0
        .byte   0x29                /* extended boot signature */
        .long   0x20040401          /* volume serial number */
        .ascii  "NO NAME    "       /* volume label: none, as the root holds none */
        .ascii  "FAT12   "

        .set    COM1, 0x3F8
boot:
        cli
        xorw    %ax, %ax
        movw    %ax, %ds
        movw    %ax, %ss
        movw    $0x7C00, %sp
        sti
        cld

        /* 115200 baud, 8 data bits, no parity, one stop bit. */
        movw    $COM1 + 1, %dx
        xorb    %al, %al
        outb    %al, %dx            /* no interrupts */
        movw    $COM1 + 3, %dx
        movb    $0x80, %al
        outb    %al, %dx            /* divisor latch */
        movw    $COM1, %dx
        movb    $1, %al
        outb    %al, %dx
        movw    $COM1 + 1, %dx
        xorb    %al, %al
        outb    %al, %dx
        movw    $COM1 + 3, %dx
        movb    $0x03, %al
        outb    %al, %dx

        movw    $message, %si
next:
        lodsb
        testb   %al, %al
        jz      done
        movb    %al, %bl
        movw    $COM1 + 5, %dx
wait:
        inb     %dx, %al
        testb   $0x20, %al          /* transmitter holding register empty */
        jz      wait
        movw    $COM1, %dx
        movb    %bl, %al
        outb    %al, %dx
        movb    $0x0E, %ah          /* and on the screen */
        xorw    %bx, %bx
        int     $0x10
        jmp     next
done:
        cli
        hlt
        jmp     done

message:
        .asciz  "NOVUS-KT FD BOOT OK\r\n"

        .org    510
        .word   0xAA55
