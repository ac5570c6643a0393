#pragma once

// Export macros of the two libraries that share the video-port model:
//  - VPI_BASE_API: the base library libVideoPortInfo (DisplayResolution,
//    Monitor's main constructor and destructor);
//  - VPI_WIN7_API: the back-end dovAzaveVevoZoraVuz7 (the interfaces' own
//    members, the copy operations of the records, the Windows 7 classes).
// Monitor is implemented by both, so it carries per-member macros and a
// class-level one that only gives its vtable and type information default
// visibility.
#if defined(_WIN32)
#if defined(VPI_BASE_BUILD)
#define VPI_BASE_API __declspec(dllexport)
#else
#define VPI_BASE_API __declspec(dllimport)
#endif
#if defined(VPI_WIN7_BUILD)
#define VPI_WIN7_API __declspec(dllexport)
#else
#define VPI_WIN7_API __declspec(dllimport)
#endif
#define VPI_MONITOR_CLASS
#else
#define VPI_BASE_API __attribute__((visibility("default")))
#define VPI_WIN7_API __attribute__((visibility("default")))
#define VPI_MONITOR_CLASS __attribute__((visibility("default")))
#endif
