; BootGuest.asm - the boot checks' test guest: one BIOS boot sector.
;
; It reads up to four sectors of its boot disk through the BIOS extended
; disk services (int 13h, function 42h), checks that each holds its marker,
; reports on the first serial port and powers off through qemu's
; isa-debug-exit device at port 0xf4:
;   "ZYVM BOOT OK"            every sector read back as written (exit 0)
;   "ZYVM BOOT BAD <sector>"  the first sector that could not be read or did
;                             not hold its marker (exit 1)
; The sectors to read are a table of four little-endian 64-bit LBAs at
; offset 0x180 of this sector (0: unused), filled in by whoever builds the
; disk.  A marker sector starts with "ZYVMMARK" and its own LBA (64 bits,
; little-endian); the rest of it is free.
; Build: nasm -f bin -o BootGuest.bin BootGuest.asm

bits 16
org 0x7c00

SERIAL     equ 0x3f8
EXIT_PORT  equ 0xf4
BUFFER     equ 0x8000

start:
        cli
        xor ax, ax
        mov ds, ax
        mov es, ax
        mov ss, ax
        mov sp, 0x7c00
        sti
        cld
        mov [drive], dl
        mov si, table
        mov cx, 4
.next:
        push cx
        mov eax, [si]
        or eax, [si + 4]
        jz .skip
        mov eax, [si]
        mov [dap.lba], eax
        mov eax, [si + 4]
        mov [dap.lba + 4], eax
        push si
        mov si, dap
        mov ah, 0x42
        mov dl, [drive]
        int 0x13
        pop si
        jc bad
        push si
        mov si, magic
        mov di, BUFFER
        mov cx, 8
        repe cmpsb
        pop si
        jne bad
        mov eax, [BUFFER + 8]
        cmp eax, [si]
        jne bad
        mov eax, [BUFFER + 12]
        cmp eax, [si + 4]
        jne bad
.skip:
        add si, 8
        pop cx
        loop .next
        mov si, ok_text
        call puts
        xor al, al
        jmp finish

bad:                                ; si: the table entry that failed
        mov eax, [si]
        push eax
        mov si, bad_text
        call puts
        pop eax
        call putdec
        mov al, 1

finish:
        push ax
        mov al, 13
        call putc
        mov al, 10
        call putc
        pop ax
        out EXIT_PORT, al
.halt:
        cli
        hlt
        jmp .halt

; putc: writes al to the serial port once it can take a byte.
putc:
        push dx
        push ax
        mov dx, SERIAL + 5
.wait:
        in al, dx
        test al, 0x20
        jz .wait
        pop ax
        mov dx, SERIAL
        out dx, al
        pop dx
        ret

; puts: writes the zero-terminated text at si.
puts:
        lodsb
        test al, al
        jz .done
        call putc
        jmp puts
.done:
        ret

; putdec: writes eax in decimal.
putdec:
        mov ebx, 10
        xor cx, cx
.digit:
        xor edx, edx
        div ebx
        push dx
        inc cx
        test eax, eax
        jnz .digit
.print:
        pop ax
        add al, '0'
        call putc
        loop .print
        ret

drive:    db 0
magic:    db "ZYVMMARK"
ok_text:  db "ZYVM BOOT OK", 0
bad_text: db "ZYVM BOOT BAD ", 0
dap:      db 16, 0
          dw 1
          dw BUFFER, 0
.lba:     dq 0

          times 0x180 - ($ - $$) db 0
table:    times 4 dq 0

          times 510 - ($ - $$) db 0
          dw 0xaa55
