#pragma once

// Export macro of the common runtime library (target Common).
#if defined(_WIN32)
#if defined(TKL_COMMON_BUILD)
#define TKL_COMMON_API __declspec(dllexport)
#else
#define TKL_COMMON_API __declspec(dllimport)
#endif
#else
#define TKL_COMMON_API __attribute__((visibility("default")))
#endif
