// SPDX-FileCopyrightText: The Quillora launcher contributors
// SPDX-License-Identifier: MIT
// The stack protector's guard, seeded the way MSVC's /GS start-up seeds its
// cookie: from the time, the process and thread ids, the performance counter
// and an address that ASLR moves. GCC's libssp seeds it through
// CryptAcquireContext, which loads rsaenh.dll, bcrypt.dll and crypt32.dll
// before main, and so before the launcher restricts where DLLs are loaded
// from: a copy planted beside it could be loaded. Defining the guard, its
// failure and fortify's failure here keeps libssp's seeding out of the link;
// its checked string functions still come from it, statically.
#include <windows.h>

#include <cstdint>

extern "C" {

// Pointer-sized, as the compiler's checks read it; a constant until seeded,
// so that no dynamic initialiser runs after the seeding.
uintptr_t __stack_chk_guard = uintptr_t(0x2B992DDFA232ull);

// A smashed stack or an overflowing checked call: end at once, as Windows
// ends a process whose /GS cookie was overwritten, with nothing run on the
// way that the corrupted state could steer.
[[noreturn]] void __stack_chk_fail()
{
    TerminateProcess(GetCurrentProcess(), 0xC0000409u); // STATUS_STACK_BUFFER_OVERRUN
    __builtin_trap();
}

[[noreturn]] void __chk_fail()
{
    __stack_chk_fail();
}

} // extern "C"

namespace {

// First of all constructors, and itself without a cookie: the guard changes
// under it.
__attribute__((constructor(101), no_stack_protector)) void seedStackGuard()
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uintptr_t seed = uintptr_t(time.dwHighDateTime) << 16 ^ time.dwLowDateTime;
    seed ^= uintptr_t(GetCurrentProcessId()) << 8 ^ uintptr_t(GetCurrentThreadId());
    seed ^= uintptr_t(counter.QuadPart) ^ uintptr_t(counter.QuadPart >> 32) << 16;
    seed ^= reinterpret_cast<uintptr_t>(&seed);
    // Never zero, and never ending in a zero byte that a string copy would
    // write back unnoticed.
    seed |= 0xFF;
    __stack_chk_guard = seed;
}

} // namespace
