#include "core/process.hpp"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "kestro/host.h"

namespace kestro {

namespace {
BeforeExitHook before_exit_hook = nullptr;
}

void set_before_exit_hook(BeforeExitHook hook) noexcept { before_exit_hook = hook; }

void flush_host_output() noexcept {
    if (before_exit_hook != nullptr) before_exit_hook();
}

void end_process(int status) noexcept {
    BeforeExitHook hook = before_exit_hook;
    before_exit_hook = nullptr;
    if (hook != nullptr) hook();
    std::fflush(nullptr);
    std::exit(status);
}

void fatal_error(const char *format, ...) noexcept {
    flush_host_output();
    std::fflush(stdout);
    // The message and its newline under one hold of the stream, whole beside
    // another thread's output; nothing is allocated (the message may be that
    // an allocation failed) and nothing is cut.
    va_list args;
    va_start(args, format);
    flockfile(stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    funlockfile(stderr);
    va_end(args);
    end_process(1);
}

}  // namespace kestro

void kestro_host_set_before_exit(void (*hook)(void)) { kestro::set_before_exit_hook(hook); }

// Every allocation of the library's own code (containers, work buffers) goes
// through these: when it fails the process ends with the library's message
// instead of an exception that would end it from inside a routine that cannot
// throw.  The linker's version script keeps them local to the library; the
// arrays of the shared data come from their own allocator (array.cpp), which
// ends the process the same way.
namespace {

void *allocate(std::size_t bytes) noexcept {
    void *block = std::malloc(bytes != 0 ? bytes : 1);
    if (block == nullptr) kestro::fatal_error("Error allocating %lu bytes", static_cast<unsigned long>(bytes));
    return block;
}

}  // namespace

void *operator new(std::size_t bytes) { return allocate(bytes); }
void *operator new[](std::size_t bytes) { return allocate(bytes); }
// The forms that may fail (a temporary buffer tries a smaller size then).
void *operator new(std::size_t bytes, const std::nothrow_t &) noexcept { return std::malloc(bytes != 0 ? bytes : 1); }
void *operator new[](std::size_t bytes, const std::nothrow_t &) noexcept {
    return std::malloc(bytes != 0 ? bytes : 1);
}
void operator delete(void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete[](void *block, const std::nothrow_t &) noexcept { std::free(block); }
void operator delete(void *block) noexcept { std::free(block); }
void operator delete[](void *block) noexcept { std::free(block); }
void operator delete(void *block, std::size_t) noexcept { std::free(block); }
void operator delete[](void *block, std::size_t) noexcept { std::free(block); }
