// The library's stand-ins for the 28 C runtime functions through which a Lua state could reach
// files, standard streams, the environment and processes. Every script path to those ends here:
// files are the host's (FS and FilePure), standard output and error go to the log, and processes,
// temporary files, removal and renaming are refused with a warning.
//
// A file handle is the FilePure pointer that FS::openFile returned, used as the C library's file
// pointer. Only handles in the process-wide registry (entered by sandbox_fopen, left by
// sandbox_fclose) are treated as open; the three standard streams are recognised by identity.
//
// They have C names because the Lua runtime is linked against them: its own calls of fopen,
// fread, system, exit and the rest were renamed to these (bsandbox_runtime_symbols.txt). The
// names are the sandbox's own, so nothing else in the process is redirected.
#pragma once

#include <cstddef>
#include <cstdio>

namespace VadiZov {

extern "C" {

FILE* sandbox_fopen(const char* path, const char* mode);
int sandbox_fclose(FILE* file);
int sandbox_fflush(FILE* file);
size_t sandbox_fread(void* buffer, size_t size, size_t count, FILE* file);
size_t sandbox_fwrite(const void* data, size_t size, size_t count, FILE* file);
char* sandbox_fgets(char* buffer, int size, FILE* file);
int sandbox_fputc(int character, FILE* file);
int sandbox_fputs(const char* text, FILE* file);
int sandbox_fseek(FILE* file, long offset, int origin);
long sandbox_ftell(FILE* file);
int sandbox_feof(FILE* file);
int sandbox_ferror(FILE* file);
void sandbox_clearerr(FILE* file);
int sandbox_pclose(FILE* file);
int sandbox_fprintf(FILE* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
int sandbox_putchar(int character);
char* sandbox_getenv(const char* name);
int sandbox_setvbuf(FILE* file, char* buffer, int mode, size_t size);
int sandbox_fscanf(FILE* file, const char* format, ...);
int sandbox_getc(FILE* file);
int sandbox_ungetc(int character, FILE* file);
FILE* sandbox_popen(const char* command, const char* mode);
FILE* sandbox_tmpfile();
int sandbox_remove(const char* path);
int sandbox_rename(const char* oldPath, const char* newPath);
int sandbox_system(const char* command);
char* sandbox_tmpnam(char* buffer);
[[noreturn]] void sandbox_exit(int status);

// The runtime writes single characters with putc: standard output as putchar does, any other
// stream as fputc does.
int sandbox_putc(int character, FILE* file);
// The runtime's os.tmpname makes its name with mkstemp: refused like tmpnam, no file is made.
int sandbox_mkstemp(char* pattern);

} // extern "C"

// True while the handle is in the registry (tests and io.type).
bool sandbox_isRegistered(FILE* file);

} // namespace VadiZov
