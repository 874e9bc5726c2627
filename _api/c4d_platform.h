// The few platform functions the module uses, declared here instead of taken
// from the C library's headers: the module builds with freestanding headers
// only, so the same source compiles for every deliverable, with or without a
// platform SDK at hand. They are resolved against the platform's C runtime
// when the module is loaded.
#ifndef KW_C4D_PLATFORM_H
#define KW_C4D_PLATFORM_H

#include <stddef.h>

extern "C" {
double sin(double);
double cos(double);
double asin(double);
double acos(double);
double atan(double);
double sqrt(double);
double floor(double);
void* malloc(size_t);
void free(void*);
}

#endif
