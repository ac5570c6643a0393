// Export macros of the stand-in platform library.
#pragma once

// VPI_PLATFORM_API marks the stand-in's own C++ interface (namespace standin).
#if defined(_WIN32)
#if defined(VPI_BUILDING_PLATFORM_STANDIN)
#define VPI_PLATFORM_API __declspec(dllexport)
#else
#define VPI_PLATFORM_API __declspec(dllimport)
#endif
#else
#define VPI_PLATFORM_API __attribute__((visibility("default")))
#endif

// VPI_USER32_EXPORT marks the four display-configuration operations, but only
// while the stand-in itself is compiled: their users see plain declarations, as
// they do in the platform's own headers, so that any other definition can take
// the stand-in's place.
#if defined(VPI_BUILDING_PLATFORM_STANDIN)
#define VPI_USER32_EXPORT VPI_PLATFORM_API
#else
#define VPI_USER32_EXPORT
#endif
