// Linked into the tests of the ThreadSanitizer build only. QProcess starts programs with a
// vfork-style clone (CLONE_VM | CLONE_VFORK): the child runs in the parent's memory until it
// executes the program. ThreadSanitizer intercepts clone and, in the child, switches its bookkeeping
// to that of a forked child: with the memory shared, it is the parent's bookkeeping that changes, so
// after the first started process the test's main thread is silently no longer checked, and the
// next thread started aborts ("starting new threads after multi-threaded fork"). Here such a clone
// becomes a plain fork, which ThreadSanitizer handles; the child still only executes the program.
#include <sched.h>
#include <sys/types.h>

#include <cstdarg>

extern "C" int __interceptor_clone(int (*function)(void*), void* stack, int flags, void* argument,
    int* parentTid, void* tls, pid_t* childTid);

extern "C" int clone(int (*function)(void*), void* stack, int flags, void* argument, ...)
{
    va_list rest;
    va_start(rest, argument);
    int* parentTid = va_arg(rest, int*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK))
        flags &= ~(CLONE_VM | CLONE_VFORK);
    return __interceptor_clone(function, stack, flags, argument, parentTid, tls, childTid);
}
