#pragma once
// VX64_HOST_API marks the host library's public entry points. The library is built with hidden
// symbols, so only what carries this mark is visible to applications.
#if defined(_WIN32)
#if defined(VX64_HOST_BUILDING) && !defined(VX64_HOST_STATIC)
#define VX64_HOST_API __declspec(dllexport)
#elif !defined(VX64_HOST_STATIC)
#define VX64_HOST_API __declspec(dllimport)
#else
#define VX64_HOST_API
#endif
#else
#define VX64_HOST_API __attribute__((visibility("default")))
#endif
