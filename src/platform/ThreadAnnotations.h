// Lock rules that clang checks (-Wthread-safety): which lock guards a
// field, which lock a function needs, which functions take and give back a
// lock. Other compilers see nothing.
#pragma once

#if defined(__clang__)
#define VOSK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VOSK_THREAD_ANNOTATION(x)
#endif

// A class whose objects are locks.
#define CAPABILITY(name) VOSK_THREAD_ANNOTATION(capability(name))
// A class that holds a lock for its lifetime (a guard).
#define SCOPED_CAPABILITY VOSK_THREAD_ANNOTATION(scoped_lockable)
// A field read and written only while the lock is held.
#define GUARDED_BY(lock) VOSK_THREAD_ANNOTATION(guarded_by(lock))
// A pointer whose target is read and written only while the lock is held.
#define PT_GUARDED_BY(lock) VOSK_THREAD_ANNOTATION(pt_guarded_by(lock))
// A function called only while the locks are held. On a guard's
// constructor: it takes over a lock held already.
#define REQUIRES(...) VOSK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// A function that takes the locks (no argument in a lock's own class: the
// lock itself) and returns with them held.
#define ACQUIRE(...) VOSK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
// A function that gives back the locks.
#define RELEASE(...) VOSK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
// A function that takes the locks when it returns the value given.
#define TRY_ACQUIRE(...) VOSK_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
// A function called only while the locks are not held by its caller.
#define EXCLUDES(...) VOSK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
// A function whose body the analysis leaves alone; every use says why.
#define NO_THREAD_SAFETY_ANALYSIS VOSK_THREAD_ANNOTATION(no_thread_safety_analysis)
