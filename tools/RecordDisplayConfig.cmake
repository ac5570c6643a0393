# vpi-record-display-config: records the platform's display configuration as
# JSON for the stand-in to replay. Included from tools/CMakeLists.txt.
add_executable(vpi-record-display-config ${CMAKE_CURRENT_LIST_DIR}/record-display-config.cpp)
target_link_libraries(vpi-record-display-config PRIVATE PlatformRecorder)
