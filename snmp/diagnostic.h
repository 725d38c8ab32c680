// Lines for the standard error stream that the operator never sees in a
// window: the decoder's and the transport's diagnostics. Each program names
// itself once, so that its lines read "tarvik: recvfrom: ..." like its other
// lines, whichever library wrote them.
#pragma once

// The name put before each diagnostic line; null or empty: none. Kept, not
// copied: pass a string that lives as long as the program.
void set_diagnostic_program(const char* name);

// Writes one line, "PROGRAM: " then the printf-style text and a line feed,
// on the standard error stream. `format` holds no line feed of its own.
void print_diagnostic(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
