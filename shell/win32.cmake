# uvpaint.exe, the Win32 program.
