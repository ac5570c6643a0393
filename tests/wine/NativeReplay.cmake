# Native build: the native videoports replays a configuration recorded under
# Wine on Xorg's dummy driver with two outputs, and must print what
# videoports.exe printed live on it.
add_test(NAME native_replay_xorg_dummy_2_outputs
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/replay-compare.sh
          ${CMAKE_CURRENT_LIST_DIR}/data/xorg-dummy-2-outputs.json
          ${CMAKE_CURRENT_LIST_DIR}/data/xorg-dummy-2-outputs.videoports.json
          $<TARGET_FILE:videoports>)
set_tests_properties(native_replay_xorg_dummy_2_outputs PROPERTIES TIMEOUT 60)
