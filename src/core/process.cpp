#include "core/process.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

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
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    end_process(1);
}

}  // namespace kestro

void kestro_host_set_before_exit(void (*hook)(void)) { kestro::set_before_exit_hook(hook); }
