// Export macro of the stand-in platform library: its own C++ interface
// (namespace standin) and its definitions of the four display-configuration
// operations, which <libVideoPortInfo/DisplayConfig.h> declares without one.
#pragma once

#if defined(_WIN32)
#if defined(VPI_BUILDING_STANDIN)
#define VPI_STANDIN_API __declspec(dllexport)
#else
#define VPI_STANDIN_API __declspec(dllimport)
#endif
#else
#define VPI_STANDIN_API __attribute__((visibility("default")))
#endif
