# Two install layouts come out of one build tree:
#  - the kit tree of a plain `cmake --install BUILD --prefix DIR` (programs in
#    DIR/Tool, the window at the top; see kit/CMakeLists.txt), the default
#    component;
#  - the Debian packages' tree under /usr (programs in bin/, the kit under
#    TOOLSET_KIT_DIR), installed only component by component, which is what
#    CPack does: component "toolset" for the main package, "testbed" for the
#    emulator's package.
set(TOOLSET_PACKAGE_PREFIX /usr)
set(TOOLSET_INSTALLED_KIT_DIR ${TOOLSET_PACKAGE_PREFIX}/${TOOLSET_KIT_DIR})
set(TOOLSET_GROUP ndxlink)

# Files that belong to both layouts at the same relative place (manual pages,
# completion): into the kit tree and into the package's tree.
function(toolset_install_files component destination)
  if(NOT component STREQUAL "testbed")
    install(FILES ${ARGN} DESTINATION ${destination})
  endif()
  install(FILES ${ARGN} DESTINATION ${destination} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
