// The few conditions that end the process, and the hook that lets a host
// (the Python interpreter) flush its own buffers before the library does.
#pragma once

namespace kestro {

using BeforeExitHook = void (*)();

// Installs the function called once before the library ends the process or
// writes a message that precedes the end; nullptr removes it.
void set_before_exit_hook(BeforeExitHook hook) noexcept;

// Calls the hook (once), flushes the C streams and ends the process with `status`.
[[noreturn]] void end_process(int status) noexcept;

// Writes the formatted message and a newline on standard error and ends the
// process with status 1.
[[noreturn]] void fatal_error(const char *format, ...) noexcept __attribute__((format(printf, 1, 2)));

// Calls the hook without ending the process: for output that must appear after
// everything the host has written so far.
void flush_host_output() noexcept;

}  // namespace kestro
