#pragma once

#include <sys/types.h>

// The process's file-creation mask, read once and never changed: the kernel shows it in
// /proc/self/status, so it is read without the umask(0)-and-back dance that would widen the mask for
// every other thread in between. Only where /proc is missing is that dance done, at the first call.
mode_t process_umask();
