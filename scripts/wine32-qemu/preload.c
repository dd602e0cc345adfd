/*
 * Preloaded into 32-bit Wine when it runs under qemu-i386 user-mode
 * emulation (scripts/wine-run, on kernels that refuse 32-bit programs).
 * It makes up for two things qemu 7.2 does not do as the kernel does:
 *
 * - MAP_FIXED_NOREPLACE: qemu fails every such mapping inside its reserved
 *   guest space, so Wine probes the whole address space page by page (some
 *   131,000 mmap calls, most of a minute per process). Here the mapping is
 *   asked for at the address as a hint and refused with EEXIST unless it
 *   lands there, which is what the kernel answers.
 *
 * - Per-thread TLS descriptors: qemu keeps one GDT for all threads, so the
 *   entry glibc sets for each new thread's %gs (and the one Wine would set
 *   for %fs) is shared, and every reload of the selector (signal return,
 *   Wine's syscall dispatcher) gives a thread the last-created thread's
 *   TLS. Here each thread gets an LDT entry of its own for %gs, thread
 *   creation is serialised so that at most one thread stands on the shared
 *   GDT entry (until it has moved to its own), and set_thread_area through
 *   syscall() is refused so that Wine puts %fs in the LDT as well.
 *
 * Limit: LDT entries 1..511 (Wine takes 512 and up), so at most 511 live
 * threads per process. Built by scripts/wine-run with a 32-bit compiler.
 */
#define _GNU_SOURCE
#include <asm/ldt.h>
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

/* Wine's own LDT entries begin here when libc's %gs is in the LDT. */
#define SLOTS 512
#define FUTEX_WAIT_OP 0
#define FUTEX_WAKE_OP 1

typedef void* (*mmap_fn)(void*, size_t, int, int, int, off_t);
typedef void* (*mmap64_fn)(void*, size_t, int, int, int, off64_t);
typedef int (*create_fn)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
typedef long (*syscall_fn)(long, ...);

static mmap_fn real_mmap;
static mmap64_fn real_mmap64;
static create_fn real_create;
static syscall_fn real_syscall;
static unsigned gdt_selector;
/* The thread id owning each LDT entry; 0 free, -1 promised to a new thread. */
static pid_t slot_owner[SLOTS];
static pthread_mutex_t create_lock = PTHREAD_MUTEX_INITIALIZER;

static unsigned tls_base(void) {
    unsigned base;
    __asm__ volatile("movl %%gs:0, %0" : "=r"(base));
    return base;
}

static unsigned get_gs(void) {
    unsigned selector;
    __asm__ volatile("movl %%gs, %0" : "=r"(selector));
    return selector & 0xffff;
}

static void set_gs(unsigned selector) {
    __asm__ volatile("movl %0, %%gs" : : "r"(selector));
}

/* The descriptor glibc gives a thread's TLS, at another entry. */
static void describe(struct user_desc* d, unsigned entry, unsigned base) {
    memset(d, 0, sizeof *d);
    d->entry_number = entry;
    d->base_addr = base;
    d->limit = 0xfffff;
    d->seg_32bit = 1;
    d->limit_in_pages = 1;
    d->useable = 1;
}

/* An entry whose thread has ended can be given again: until then the
 * thread may still reload %gs from it. */
static int free_slot(void) {
    for (int i = 1; i < SLOTS; i++) {
        pid_t owner = slot_owner[i];
        if (owner == 0 || (owner > 0 && real_syscall(SYS_tgkill, getpid(), owner, 0) != 0))
            return i;
    }
    return -1;
}

/* Moves the calling thread's %gs to LDT entry `slot`, set to its TLS. */
static int take_slot(int slot) {
    struct user_desc d;
    describe(&d, slot, tls_base());
    if (real_syscall(SYS_modify_ldt, 0x11, &d, sizeof d) != 0)
        return -1;
    slot_owner[slot] = gettid();
    set_gs((slot << 3) | 7);
    return 0;
}

struct start {
    void* (*procedure)(void*);
    void* argument;
    sigset_t mask;
    int slot;
    int result;
    int done;
};

static void* start_thread(void* raw) {
    struct start* start = raw;
    void* (*procedure)(void*) = start->procedure;
    void* argument = start->argument;
    sigset_t mask = start->mask;
    start->result = take_slot(start->slot);
    int ok = start->result == 0;
    __atomic_store_n(&start->done, 1, __ATOMIC_RELEASE);
    real_syscall(SYS_futex, &start->done, FUTEX_WAKE_OP, 1, 0, 0, 0);
    if (!ok)
        return 0;
    pthread_sigmask(SIG_SETMASK, &mask, 0);
    return procedure(argument);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*procedure)(void*),
                   void* argument) {
    struct start start;
    memset(&start, 0, sizeof start);
    start.procedure = procedure;
    start.argument = argument;
    /* No signal handler may reload %gs while it names the shared entry. */
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &start.mask);
    pthread_mutex_lock(&create_lock);
    int result = EAGAIN;
    start.slot = free_slot();
    if (start.slot > 0) {
        slot_owner[start.slot] = -1;
        /* glibc gives the new thread the GDT entry the caller's %gs names: the
         * caller stands on that entry, set to its own TLS, for the call. */
        unsigned own = get_gs();
        struct user_desc d;
        describe(&d, gdt_selector >> 3, tls_base());
        real_syscall(SYS_set_thread_area, &d);
        set_gs(gdt_selector);
        result = real_create(thread, attr, start_thread, &start);
        set_gs(own);
        if (result == 0) {
            while (!__atomic_load_n(&start.done, __ATOMIC_ACQUIRE))
                real_syscall(SYS_futex, &start.done, FUTEX_WAIT_OP, 0, 0, 0, 0);
            /* The thread has ended without running the procedure. */
            if (start.result != 0)
                result = EAGAIN;
        }
        if (result != 0)
            slot_owner[start.slot] = 0;
    }
    pthread_mutex_unlock(&create_lock);
    pthread_sigmask(SIG_SETMASK, &start.mask, 0);
    return result;
}

static void* map_noreplace(void* address, size_t length, int protection, int flags, int fd,
                           off64_t offset) {
    void* p = real_mmap64(address, length, protection, flags & ~MAP_FIXED_NOREPLACE, fd, offset);
    if (p == MAP_FAILED || p == address)
        return p;
    munmap(p, length);
    errno = EEXIST;
    return MAP_FAILED;
}

void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
    if (flags & MAP_FIXED_NOREPLACE)
        return map_noreplace(address, length, protection, flags, fd, offset);
    return real_mmap64(address, length, protection, flags, fd, offset);
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
    if (flags & MAP_FIXED_NOREPLACE)
        return map_noreplace(address, length, protection, flags, fd, offset);
    return real_mmap(address, length, protection, flags, fd, offset);
}

long syscall(long number, ...) {
    va_list list;
    long a[6];
    va_start(list, number);
    for (int i = 0; i < 6; i++)
        a[i] = va_arg(list, long);
    va_end(list);
    if (number == SYS_set_thread_area) {
        errno = ENOSYS;
        return -1;
    }
    return real_syscall(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}

__attribute__((constructor)) static void init(void) {
    real_mmap = (mmap_fn)dlsym(RTLD_NEXT, "mmap");
    real_mmap64 = (mmap64_fn)dlsym(RTLD_NEXT, "mmap64");
    real_create = (create_fn)dlsym(RTLD_NEXT, "pthread_create");
    real_syscall = (syscall_fn)dlsym(RTLD_NEXT, "syscall");
    gdt_selector = get_gs();
    /* Not for the native programs Wine starts (wineserver, the wrapper's
     * shell): the wrapper preloads it again into each emulated process. */
    unsetenv("LD_PRELOAD");
    /* First, before any thread exists: qemu gives the LDT to this thread's
     * emulated CPU, and the threads created later inherit it. */
    if (take_slot(1) != 0)
        abort();
}
