# Registers the GoogleTest cases of a test program that uses EmulatedPrinter.
# umockdev works through its preload library, so every case runs with it in
# LD_PRELOAD; under AddressSanitizer the preload comes ahead of the ASan
# runtime, which ASan accepts only with verify_asan_link_order=0.
#
#   include(${PROJECT_SOURCE_DIR}/tests/usb/emulated_printer.cmake)
#   hrv_discover_emulated_usb_tests(my_test <kind-label> [TEST_PREFIX prefix.] [other gtest_discover_tests options])
#
# Options are passed to gtest_discover_tests; PROPERTIES is set here, with the
# kind label (unit, system, screenshot...); the area label is the folder's.
include_guard(GLOBAL)
include(GoogleTest)

function(hrv_discover_emulated_usb_tests target kind)
  # One value per property: gtest_discover_tests cannot pass lists through.
  set(props ENVIRONMENT "LD_PRELOAD=libumockdev-preload.so.0")
  if(HRV_SANITIZE)
    list(APPEND props ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_prepend:verify_asan_link_order=0:")
  endif()
  gtest_discover_tests(${target} ${ARGN}
    DISCOVERY_TIMEOUT 30
    PROPERTIES ${props} LABELS ${kind} TIMEOUT 120)
endfunction()
