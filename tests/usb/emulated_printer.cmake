# Registers the GoogleTest cases of a program that uses EmulatedPrinter under umockdev's preload library
# (ahead of the ASan runtime in the sanitizer build), with a kind label.
#   hrv_discover_emulated_usb_tests(<target> <kind-label> [gtest_discover_tests options...])
include_guard(GLOBAL)
include(GoogleTest)

function(hrv_discover_emulated_usb_tests target kind)
  # One value per property: gtest_discover_tests cannot pass lists through.
  set(props ENVIRONMENT "LD_PRELOAD=libumockdev-preload.so.0")
  if(HRV_SANITIZE)
    list(APPEND props ENVIRONMENT_MODIFICATION "ASAN_OPTIONS=string_prepend:verify_asan_link_order=0:")
  endif()
  gtest_discover_tests(${target} ${ARGN} DISCOVERY_TIMEOUT 30 PROPERTIES ${props} LABELS ${kind} TIMEOUT 120)
endfunction()
