# End-to-end tests of the installation kit: each installs the kit into a
# temporary tree and drives the installed programs against devsim inside a
# private network namespace. Included from kit/CMakeLists.txt, after every
# program target is defined.
set(KIT_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR}/kit_tests)

set(kit_test_targets ndxupgrade hostlink tabgen imgbuild devsim prm_scramble)
set(kit_test_targets_present TRUE)
foreach(target ${kit_test_targets})
  if(NOT TARGET ${target})
    set(kit_test_targets_present FALSE)
  endif()
endforeach()

if(kit_test_targets_present)
  set(kit_test_environment
      BUILD_DIR=${CMAKE_BINARY_DIR}
      CMAKE=${CMAKE_COMMAND}
      PRM_SCRAMBLE=$<TARGET_FILE:prm_scramble>
      KIT_SOURCE_DIR=${PROJECT_SOURCE_DIR}/kit
      TESTBED_DIR=${PROJECT_SOURCE_DIR}/testbed)

  add_test(NAME kit_layout COMMAND sh ${KIT_TESTS_DIR}/kit_layout_test.sh)
  add_test(NAME kit_kernel_scripts COMMAND sh ${KIT_TESTS_DIR}/kernel_scripts_test.sh)
  set_tests_properties(kit_layout kit_kernel_scripts PROPERTIES ENVIRONMENT "${kit_test_environment}" TIMEOUT 60)

  # The demo makes its own namespace.
  add_test(NAME kit_demo COMMAND sh ${KIT_TESTS_DIR}/demo_test.sh)
  set_tests_properties(kit_demo PROPERTIES
      ENVIRONMENT "${kit_test_environment}" SKIP_RETURN_CODE 77 TIMEOUT 300)
  add_test(NAME kit_demo_batch COMMAND sh ${KIT_TESTS_DIR}/demo_batch_test.sh)
  set_tests_properties(kit_demo_batch PROPERTIES
      ENVIRONMENT "${kit_test_environment}" SKIP_RETURN_CODE 77 TIMEOUT 300)

  # name  script
  set(kit_netns_tests
      kit_upgrade upgrade_test.sh
      kit_upgrade_failures upgrade_failures_test.sh
      kit_version version_test.sh
      kit_diagnose diagnose_test.sh
      kit_tabgen_hostlink_roundtrip tabgen_roundtrip_test.sh
      kit_batch batch_test.sh
      kit_find find_test.sh
      kit_history history_test.sh
      kit_history_postgres history_postgres_test.sh)
  # The same upgrade through the window, offscreen.
  if(TARGET ndxupgrade_form AND TARGET ndxupgrade_platform)
    add_executable(kit_window_upgrade ${KIT_TESTS_DIR}/window_upgrade.cpp)
    target_include_directories(kit_window_upgrade PRIVATE ${PROJECT_SOURCE_DIR}/ndxupgrade)
    target_link_libraries(kit_window_upgrade PRIVATE ndxupgrade_form ndxupgrade_platform)
    list(APPEND kit_netns_tests kit_window_upgrade window_upgrade_test.sh
                                kit_upgrade_safety upgrade_safety_test.sh
                                kit_signals signals_test.sh)
    list(APPEND kit_test_environment WINDOW_UPGRADE=$<TARGET_FILE:kit_window_upgrade>)
  endif()

  while(kit_netns_tests)
    list(POP_FRONT kit_netns_tests name script)
    add_test(NAME ${name} COMMAND ${NETNS_RUN} --timeout 100 -- sh ${KIT_TESTS_DIR}/${script})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "${kit_test_environment}" SKIP_RETURN_CODE 77 TIMEOUT 120)
  endwhile()
endif()
